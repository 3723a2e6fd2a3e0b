// A data set in a folder, so that a test or a person can state exactly what
// the stand-in serves and edit it by hand. The folder holds "data-set.txt"
// and, optionally, "pictures/" with stored bodies that replace the generated
// ones (named by StoredPictureName).
//
// data-set.txt is UTF-8 text, one record per line, fields separated by TAB:
//   FIELDS                                               MEANING
//   "tiepic-stand-in data set 1"                         first line: format and version
//   seed N                                               seed of the generated bodies
//   board NAME FORUM_ID                                  the board (NAME without 吧)
//   style KEY VALUE                                      one AnswerStyle member, by
//                                                        name (list_wall_type v|h, ...)
//   style renamed_member OLD=NEW                         one entry of a list member
//   style nested_member NAME=PARENT                      (repeatable, kept in order;
//   style moved_path OLD=NEW                             split at the first "=", so
//   style retyped_member NAME                            OLD and NAME hold none)
//   style today PARTS                                    "all" or a comma list of the
//                                                        parts of today.h (adds to
//                                                        the parts already on)
//   thread TID album|thread HAS_SEP TITLE                a thread; albums in list order
//   picture ID jpg|gif|png SIZE starter|other normal|empty|not-http DESCR
//                                                        a picture of the last thread
// In every field "\\", "\t", "\n", "\r" and "\xHH" stand for a backslash,
// TAB, LF, CR and any byte; other bytes (UTF-8 included) stand for
// themselves. Empty lines and lines starting with "#" are ignored.
//
// Thread safety: the functions share no state.
#ifndef TIEPIC_TOOLS_STAND_IN_DATA_SET_FORMAT_H_
#define TIEPIC_TOOLS_STAND_IN_DATA_SET_FORMAT_H_

#include <optional>
#include <string>

#include "stand-in/data_set.h"

namespace standin {

inline constexpr char kDataSetFile[] = "data-set.txt";
inline constexpr char kDataSetHeader[] = "tiepic-stand-in data set 1";
inline constexpr char kPictureFolder[] = "pictures";

// Writes `data` into `folder` (created when missing); with `with_bodies` also
// every picture's body under pictures/. The list file is written to a
// temporary name and renamed, so a reader never sees half of it. Returns
// true iff everything was written; otherwise *error says what failed.
bool WriteDataSet(const DataSet& data, const std::string& folder, bool with_bodies,
                  std::string* error);

// Reads the data set of `folder`; picture_folder is set when pictures/
// exists. Recovery rule: nothing partial is ever returned. An unknown
// version, an unknown record or style key, a malformed field or a picture
// before any thread fails the whole read with "data-set.txt:LINE: reason".
std::optional<DataSet> ReadDataSet(const std::string& folder, std::string* error);

// Applies one style record (KEY and VALUE unescaped, as in data-set.txt) to
// `style`: a single member is set, a list member gains one entry. Returns
// true iff the key is known and the value allowed; otherwise `style` is
// left as it was. Member names must be free of quote, backslash, "=" and
// control bytes; paths start with "/" and hold no "?" or "#".
bool ApplyStyleRecord(const std::string& key, const std::string& value, AnswerStyle* style);

// One field in the file's escaped form, and back (false on a bad escape).
std::string EscapeField(const std::string& bytes);
bool UnescapeField(const std::string& field, std::string* bytes);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_DATA_SET_FORMAT_H_
