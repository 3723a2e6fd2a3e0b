// What the stand-in serves: one board, its threads (albums among them) and
// their pictures, plus the few choices about the answers' form that the
// service's history leaves open. Texts are UTF-8 here and become GBK or
// escapes only on the wire. A data set can be generated (generator.h),
// built by a test field by field, or written to and read from a folder.
//
// Thread safety: a DataSet is a plain value; a DataIndex is read-only after
// construction and may be shared by any number of threads.
#ifndef TIEPIC_TOOLS_STAND_IN_DATA_SET_H_
#define TIEPIC_TOOLS_STAND_IN_DATA_SET_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "stand-in/texts.h"
#include "stand-in/today.h"

namespace standin {

// The numbers the guide writes as a picture's "format".
enum class PictureFormat { kJpeg = 1, kGif = 2, kPng = 4 };

// How the guide shows a picture's address ("waterurl").
enum class AddressKind {
  kNormal,   // http:// address on the picture host
  kEmpty,    // "" (seen on the real service)
  kNotHttp,  // an address of another scheme
};

struct Picture {
  std::string id;  // 40 lower-case hex digits; any bytes in a hostile set
  PictureFormat format = PictureFormat::kJpeg;
  uint32_t size = 0;       // wanted body size in bytes; raised to the format's minimum
  std::string descr;       // UTF-8
  bool by_starter = true;  // posted by the thread's starter (kept by see_lz=1)
  AddressKind address = AddressKind::kNormal;
};

struct Thread {
  std::string tid;    // decimal digits; any bytes in a hostile set
  std::string title;  // UTF-8; the album name; may be empty (untitled album)
  bool album = true;  // listed on the board's album pages, served by the picture list
  std::string has_sep = "0";  // the guide's "has_sep" as a JSON literal: "0" or "null"
  std::vector<Picture> pictures;
};

// The open choices about the answers' form.
struct AnswerStyle {
  std::string page_charset = "utf-8";  // board and thread pages: "utf-8" or "gbk"
  JsonText album_list_text = JsonText::kGbk;
  JsonText list_text = JsonText::kGbk;
  JsonText guide_text = JsonText::kEscaped;
  bool escape_slashes = false;  // "/" as "\/" in every JSON answer
  // The guide's entry may carry a "format" directly under "img" as well:
  // "" (no, as the captured answers show), "number" or "string".
  std::string guide_img_format;
  // A guide request without a cursor reports at most this many pictures.
  int guide_amount_cap = 5000;
  int guide_next_cap = 1000;           // at most this many pictures after the cursor
  // The guide's "pic_amount" when not negative, whatever the thread holds (a
  // service that claims more than it has).
  int64_t guide_amount_claim = -1;
  // The ways a service reshapes its JSON answers (the album list's, the
  // guide's and the picture list's), applied to every member at any depth
  // in this order (member_changes.h): renamed, then nested, then retyped;
  // the latter two name a member by its name after renaming.
  //
  // Members named otherwise, old name first.
  std::vector<std::pair<std::string, std::string>> renamed_members;
  // Members moved one level down, name first and the new parent second:
  // "NAME":VALUE is written "PARENT":{"NAME":VALUE}.
  std::vector<std::pair<std::string, std::string>> nested_members;
  // Members whose value changes type: a string of decimal digits (without
  // a leading zero) is written as that number, a number as a string.
  std::vector<std::string> retyped_members;
  // Interfaces answered on another exact path, old path first (as in
  // routes.h) and the new one second: the new path answers as the old did,
  // the old answers 404. A path both new and old is taken as new, so two
  // pairs can swap paths.
  std::vector<std::pair<std::string, std::string>> moved_paths;
  // The picture list's "wall_type": "v" or "h" (the value the real service
  // has been seen to give).
  std::string list_wall_type = "v";
  std::string newest_version = "1.0";  // announced by the version page
  // The parts that answer as the service does today (today.h); none: every
  // answer as it was.
  TodayParts today = 0;
};

struct DataSet {
  uint64_t seed = 0;  // varies the generated picture bodies
  std::string board;  // UTF-8, without the trailing 吧
  std::string forum_id = "2086417";
  AnswerStyle style;
  std::vector<Thread> threads;  // albums in album-list order
  // A folder of stored picture bodies (see data_set_format.h); empty: every
  // body is generated.
  std::string picture_folder;
};

const char* FormatName(PictureFormat format);  // "jpg", "gif", "png"
const char* MimeType(PictureFormat format);

// The file name under which a picture's body is stored in a data-set folder:
// the id itself when it is 1 to 64 of [0-9a-z], else "x" + PictureSign(id).
std::string StoredPictureName(const Picture& picture);

// The body served for `picture`: the stored file when the data set has one,
// else the generated body. Returns "" only when a stored file cannot be read.
std::string PictureBody(const DataSet& data, const Picture& picture);

// Lookups over a data set, built once.
class DataIndex {
 public:
  explicit DataIndex(const DataSet* data);

  const DataSet& data() const { return *data_; }
  const Thread* FindThread(std::string_view tid) const;
  // The picture and its thread; null when no picture has this id.
  const Picture* FindPicture(std::string_view id, const Thread** thread = nullptr) const;
  const std::vector<const Thread*>& albums() const { return albums_; }
  size_t total_album_pictures() const { return total_album_pictures_; }

 private:
  struct PictureRef {
    const Thread* thread;
    const Picture* picture;
  };
  const DataSet* data_;
  std::unordered_map<std::string, const Thread*> threads_;
  std::unordered_map<std::string, PictureRef> pictures_;
  std::vector<const Thread*> albums_;
  size_t total_album_pictures_ = 0;
};

// The pictures of `thread` that the guide shows for `see_lz` ("1": the
// starter's only).
std::vector<const Picture*> GuidePictures(const Thread& thread, bool starter_only);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_DATA_SET_H_
