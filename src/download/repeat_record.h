// The repeat-download record of one album: a record database of the picture
// ids already saved, in the record folder beside the program, named after the
// album id. It is prepared when the album's download begins (its index built
// anew), consulted before each picture and extended after each picture saved,
// and closed when the album ends, also when a stop unwinds the download.
//
// A record is used only while it can be trusted. One that cannot be opened,
// is not a table of picture ids or whose index cannot be built is damaged:
// its files are set aside as "ALBUM_ID.edb.broken-YYYYMMDD-HHMMSS" (with the
// index under the same suffix) and a new record takes its place, with one
// line in the album's log. One that cannot be created, set aside, read or
// written is given up for the album: one warning line says that the album is
// downloaded without prevent-repeat in this run, and the run counts a record
// failure. Failures of the record never stop a download, and nothing is ever
// appended to a record without its index.
//
// Thread safety: used by the download worker only; the record database keeps
// one current database for the process.
#ifndef TIEPIC_DOWNLOAD_REPEAT_RECORD_H_
#define TIEPIC_DOWNLOAD_REPEAT_RECORD_H_

#include <string>
#include <string_view>

#include "download/run_context.h"

namespace download {

class RepeatRecord {
 public:
  // The prepare step: notes the run's prevent-repeat option, creates the
  // database when it is missing (its note ends with `line_breaks` CR LF
  // pairs, as do the notes of a damaged or unusable record), opens it and
  // builds its index. `album_id` is already safe to be a file name. Without
  // `note_option` the option goes unsaid (a record filled from manifests).
  RepeatRecord(RunContext& run, std::string_view album_id, int line_breaks,
               bool note_option = true);
  // The finish step: closes the database.
  ~RepeatRecord();
  RepeatRecord(const RepeatRecord&) = delete;
  RepeatRecord& operator=(const RepeatRecord&) = delete;

  // Returns true iff the picture is to be skipped: the run prevents repeats
  // and `picture_id` is recorded.
  bool Skip(std::string_view picture_id);
  // Adds `picture_id` unless it is recorded already. Call only once the
  // picture's file is in place.
  void Record(std::string_view picture_id);

 private:
  bool Create();
  // Checks that the database is a table of picture ids, opens it and builds
  // its index. Returns 0, or the error code of the step that failed
  // (kNotARecord for a table of other fields).
  int32_t OpenChecked();
  void Close();
  // Sets the damaged database aside (why: what is wrong with it) and puts a
  // new one in its place.
  void Renew(const rt::Text& why);
  // Gives the record up for this album: the warning line, a record failure.
  void GiveUp(const rt::Text& why);
  // A record that can be read but not written (why: the failed open) is
  // opened read-only, its index built in the temporary folder: recorded
  // pictures are skipped, new ones are not recorded (a record failure).
  // Returns false when that cannot be done either.
  bool OpenReadOnly(const rt::Text& why);
  // Looks `picture_id` up; a look-up that fails gives the record up.
  bool Find(std::string_view picture_id);
  void Note(const rt::Text& line);

  static constexpr int32_t kNotARecord = 1;

  RunContext& run_;
  const bool prevent_repeat_;
  const int line_breaks_;
  rt::Text database_;    // the main file, GBK
  rt::Text index_;       // the index file, without its extension
  bool open_ = false;    // the database is open (and current)
  bool usable_ = false;  // open, a table of picture ids, with its index
  bool read_only_ = false;  // open for look-ups only (see OpenReadOnly)
  std::string temporary_index_;  // UTF-8, with its extension; "": none
};

// The record folder: the data folder (the program folder, unless the program
// is installed) + "/防止重复下载数据库/".
rt::Text RecordFolder();

// Builds the index of the current database, a record opened read-only, in
// the temporary folder (the record's own folder may take no file). Returns
// the index file's path (UTF-8, with its extension), which the caller
// removes once the record is closed, or "" when it could not be built.
std::string BuildTemporaryIndex();

// The suffix a damaged record's files are set aside under, for the local
// time `seconds` since the epoch: "broken-YYYYMMDD-HHMMSS".
rt::Text BrokenSuffix(int64_t seconds);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_REPEAT_RECORD_H_
