// The repeat-download record of one album: a record database of the picture
// ids already saved, in the record folder beside the program, named after the
// album id. It is prepared when the album's download begins (its index built
// anew), consulted before each picture and extended after each picture saved,
// and closed when the album ends, also when a stop unwinds the download.
// Failures of the record never stop a download: look-ups then find nothing
// and additions have no effect.
//
// Thread safety: used by the download worker only; the record database keeps
// one current database for the process.
#ifndef TIEPIC_DOWNLOAD_REPEAT_RECORD_H_
#define TIEPIC_DOWNLOAD_REPEAT_RECORD_H_

#include <string_view>

#include "download/run_context.h"

namespace download {

class RepeatRecord {
 public:
  // The prepare step: notes the run's prevent-repeat option, creates the
  // database when it is missing (its note ends with `line_breaks` CR LF
  // pairs), opens it and builds its index. `album_id` is already safe to be a
  // file name.
  RepeatRecord(RunContext& run, std::string_view album_id, int line_breaks);
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
  bool Find(std::string_view picture_id);

  const bool prevent_repeat_;
  bool open_ = false;
};

// The record folder: the data folder (the program folder, unless the program
// is installed) + "/防止重复下载数据库/".
rt::Text RecordFolder();

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_REPEAT_RECORD_H_
