// The picture page of the phone client: a signed form in, a window of a
// thread's pictures out. The window starts at the cursor picture itself
// (the guide's starts before it) and every address in it is the picture's
// original with a valid tbpicau, so a client needs no Referer to fetch it.
//
// Numbers inside the list are written as strings for odd places and as
// JSON numbers for even ones: the service has been seen to write both, and
// a reader must take either.
#include <algorithm>
#include <charconv>

#include "stand-in/picture_files.h"
#include "stand-in/texts.h"
#include "stand-in/today_answers.h"

namespace standin {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

Answer Json(std::string body) {
  Answer answer;
  answer.content_type = "application/json; charset=UTF-8";
  answer.body = std::move(body);
  return answer;
}

Answer Error(const char* code, const std::string& message) {
  return Json("{\"error_code\":\"" + std::string(code) + "\",\"error_msg\":" +
              JsonString(message, JsonText::kUtf8, false) + "}");
}

const std::string* Field(const Fields& fields, std::string_view name) {
  for (const auto& [key, value] : fields) {
    if (key == name) return &value;
  }
  return nullptr;
}

bool IntField(const Fields& fields, const char* name, int low, int high, int* value) {
  const std::string* text = Field(fields, name);
  if (!text || text->empty()) return false;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), *value);
  return ec == std::errc() && end == text->data() + text->size() && *value >= low &&
         *value <= high;
}

// The first needed field that is missing or has a value it may not have;
// empty when all are there.
std::string BadField(const Fields& fields, int* next, int* not_see_lz) {
  int prev = 0;
  if (!Field(fields, "tid") || Field(fields, "tid")->empty()) return "tid";
  if (!Field(fields, "pic_id")) return "pic_id";
  if (!IntField(fields, "next", 1, 100, next)) return "next";
  if (!IntField(fields, "prev", 0, 100, &prev)) return "prev";
  if (!IntField(fields, "not_see_lz", 0, 1, not_see_lz)) return "not_see_lz";
  const std::pair<const char*, const char*> fixed[] = {
      {"obj_type", "pb"}, {"page_name", "PB"}, {"q_type", "2"}, {"_client_type", "2"},
      {"_client_version", nullptr}, {"subapp_type", nullptr}, {"from", nullptr}};
  for (const auto& [name, wanted] : fixed) {
    const std::string* value = Field(fields, name);
    if (!value || (wanted && *value != wanted)) return name;
  }
  int index = 0;
  if (Field(fields, "pic_index") && !IntField(fields, "pic_index", 0, 100000000, &index))
    return "pic_index";
  return "";
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

std::string PictureEntry(const DataSet& data, const Hosts& hosts, const Thread& thread,
                         const Picture& p, size_t position) {
  const size_t place = position + 1;
  auto number = [place](const std::string& digits) {
    return place % 2 == 1 ? "\"" + digits + "\"" : digits;
  };
  auto str = [](std::string_view text) { return JsonString(text, JsonText::kUtf8, false); };
  int width = 1, height = 1;
  size_t size = PictureFileSize(p.format, p.id, p.size);
  if (!data.picture_folder.empty()) {  // stored files may be of any size
    const std::string body = PictureBody(data, p);
    size = body.size();
    PictureDimensions(body, &width, &height);
  }
  std::string url = OriginalUrl(hosts, p.id) + "?tbpicau=" + PictureAuth(p.id);
  if (p.address == AddressKind::kEmpty) url = "";
  if (p.address == AddressKind::kNotHttp) url = "ftp://" + hosts.picture + "/forum/pic/item/" + p.id + ".jpg";
  const std::string img = "{\"id\":" + str(p.id) + ",\"width\":" + number(std::to_string(width)) +
                          ",\"height\":" + number(std::to_string(height)) +
                          ",\"size\":" + number(std::to_string(size)) +
                          ",\"format\":" + number(std::to_string(static_cast<int>(p.format))) +
                          ",\"waterurl\":" + str(url) + ",\"big_cdn_src\":" + str(url) +
                          ",\"url\":" + str(url) + ",\"original_src\":" + str(url) + "}";
  return "{\"overall_index\":" + number(std::to_string(place)) +
         ",\"post_id\":" + number(PostId(thread.tid, position)) +
         ",\"is_blocked_pic\":" + number("0") + ",\"img\":{\"original\":" + img +
         ",\"medium\":" + img + ",\"screen\":" + img + "}}";
}

}  // namespace

Answer PicpageRateLimit() {
  return Error("239103", "请求过于频繁，请三分钟后再试");
}

Answer PicpageAnswer(const DataIndex& index, const Hosts& hosts, std::string_view content_type,
                     std::string_view body) {
  const DataSet& data = index.data();
  if (content_type.substr(0, 33) != "application/x-www-form-urlencoded")
    return Error("110003", "form wanted as application/x-www-form-urlencoded");
  const Fields fields = ParseQuery(body);
  const std::string* sign = Field(fields, "sign");
  if (!sign || !SameText(*sign, FormSign(fields))) return Error("110000", "sign error");
  int next = 0, not_see_lz = 0;
  if (std::string bad = BadField(fields, &next, &not_see_lz); !bad.empty())
    return Error("110003", "param error: " + bad);
  const Thread* thread = index.FindThread(*Field(fields, "tid"));
  if (!thread) return Error("4", "thread does not exist");
  const std::string* forum_id = Field(fields, "forum_id");
  const std::string* kw = Field(fields, "kw");
  if ((forum_id && *forum_id != std::to_string(ForumId(data))) ||
      (kw && !KeywordNamesBoard(*kw, data.board))) {
    return Error("110003", "param error: forum_id or kw names another board");
  }
  const std::vector<const Picture*> pictures = GuidePictures(*thread, not_see_lz == 0);
  const std::string& cursor_id = *Field(fields, "pic_id");
  size_t cursor = 0;
  if (!cursor_id.empty()) {
    auto it = std::find_if(pictures.begin(), pictures.end(),
                           [&](const Picture* p) { return p->id == cursor_id; });
    if (it == pictures.end()) return Error("110003", "param error: pic_id");
    cursor = it - pictures.begin();
  }
  std::string list;
  for (size_t i = cursor; i < pictures.size() && i < cursor + next; ++i) {
    if (!list.empty()) list += ",";
    list += PictureEntry(data, hosts, *thread, *pictures[i], i);
  }
  return Json("{\"error_code\":\"0\",\"error_msg\":\"\",\"forum\":{\"id\":\"" +
              std::to_string(ForumId(data)) + "\",\"name\":" +
              JsonString(data.board, JsonText::kUtf8, false) + "},\"pic_amount\":\"" +
              std::to_string(pictures.size()) + "\",\"pic_list\":[" + list + "]}");
}

}  // namespace standin
