// The reader of a data-set folder (layout and recovery rule in
// data_set_format.h).
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stand-in/data_set_format.h"

namespace standin {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseNumber(const std::string& text, uint64_t* value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseJsonText(const std::string& text, JsonText* form) {
  if (text == "gbk")
    *form = JsonText::kGbk;
  else if (text == "escaped")
    *form = JsonText::kEscaped;
  else
    return false;
  return true;
}

// A member name the changes can write back between quotes: not empty, no
// quote, backslash, "=" (the records' separator) or control byte.
bool IsMemberName(std::string_view name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return c == '"' || c == '\\' || c == '=' || static_cast<unsigned char>(c) < 0x20;
  });
}

// An exact path: "/" first, no query, fragment or control byte.
bool IsPath(std::string_view path) {
  return !path.empty() && path[0] == '/' && std::none_of(path.begin(), path.end(), [](char c) {
    return c == '?' || c == '#' || static_cast<unsigned char>(c) < 0x20;
  });
}

// Splits "FIRST=SECOND" at the first "=" and checks both halves.
bool SplitPair(const std::string& value, bool (*valid)(std::string_view),
               std::vector<std::pair<std::string, std::string>>* pairs) {
  size_t equals = value.find('=');
  if (equals == std::string::npos) return false;
  std::string first = value.substr(0, equals), second = value.substr(equals + 1);
  if (!valid(first) || !valid(second) || first == second) return false;
  pairs->emplace_back(std::move(first), std::move(second));
  return true;
}

// Applies one style record; false when the key or value is unknown.
bool ApplyStyle(const std::string& key, const std::string& value, AnswerStyle* s) {
  uint64_t n = 0;
  if (key == "page_charset") {
    s->page_charset = value;
    return value == "utf-8" || value == "gbk";
  }
  if (key == "album_list_text") return ParseJsonText(value, &s->album_list_text);
  if (key == "list_text") return ParseJsonText(value, &s->list_text);
  if (key == "guide_text") return ParseJsonText(value, &s->guide_text);
  if (key == "escape_slashes") {
    s->escape_slashes = value == "1";
    return value == "0" || value == "1";
  }
  if (key == "guide_img_format") {
    s->guide_img_format = value;
    return value.empty() || value == "number" || value == "string";
  }
  if (key == "guide_amount_cap" || key == "guide_next_cap") {
    if (!ParseNumber(value, &n) || n > 1000000000) return false;
    (key == "guide_amount_cap" ? s->guide_amount_cap : s->guide_next_cap) =
        static_cast<int>(n);
    return true;
  }
  if (key == "renamed_member") return SplitPair(value, IsMemberName, &s->renamed_members);
  if (key == "nested_member") return SplitPair(value, IsMemberName, &s->nested_members);
  if (key == "retyped_member") {
    s->retyped_members.push_back(value);
    return IsMemberName(value);
  }
  if (key == "moved_path") return SplitPair(value, IsPath, &s->moved_paths);
  if (key == "list_wall_type") {
    s->list_wall_type = value;
    return value == "v" || value == "h";
  }
  if (key == "today") {  // adds to the parts already on
    TodayParts parts = 0;
    std::string unknown;
    if (!ParseTodayParts(value, &parts, &unknown)) return false;
    s->today |= parts;
    return true;
  }
  if (key == "newest_version") {
    s->newest_version = value;
    return true;
  }
  return false;
}

bool ParsePicture(const std::vector<std::string>& f, Picture* p) {
  uint64_t size = 0;
  if (f.size() != 7 || !ParseNumber(f[3], &size) || size > (1u << 30)) return false;
  p->id = f[1];
  if (f[2] == "jpg")
    p->format = PictureFormat::kJpeg;
  else if (f[2] == "gif")
    p->format = PictureFormat::kGif;
  else if (f[2] == "png")
    p->format = PictureFormat::kPng;
  else
    return false;
  p->size = static_cast<uint32_t>(size);
  if (f[4] != "starter" && f[4] != "other") return false;
  p->by_starter = f[4] == "starter";
  if (f[5] == "normal")
    p->address = AddressKind::kNormal;
  else if (f[5] == "empty")
    p->address = AddressKind::kEmpty;
  else if (f[5] == "not-http")
    p->address = AddressKind::kNotHttp;
  else
    return false;
  p->descr = f[6];
  return true;
}

// Splits a line at TAB and unescapes every field.
bool SplitRecord(const std::string& line, std::vector<std::string>* fields) {
  fields->clear();
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    std::string field;
    if (!UnescapeField(line.substr(start, tab == std::string::npos ? tab : tab - start),
                       &field)) {
      return false;
    }
    fields->push_back(std::move(field));
    if (tab == std::string::npos) return true;
    start = tab + 1;
  }
}

// Applies one record to `data`; returns "" or the reason it is refused.
std::string ApplyRecord(const std::vector<std::string>& f, DataSet* data) {
  const std::string& kind = f[0];
  if (kind == "seed") {
    return f.size() == 2 && ParseNumber(f[1], &data->seed) ? "" : "bad seed record";
  }
  if (kind == "board") {
    if (f.size() != 3) return "bad board record";
    data->board = f[1];
    data->forum_id = f[2];
    return "";
  }
  if (kind == "style") {
    return f.size() == 3 && ApplyStyle(f[1], f[2], &data->style) ? ""
                                                                 : "bad style record";
  }
  if (kind == "thread") {
    if (f.size() != 5 || (f[2] != "album" && f[2] != "thread"))
      return "bad thread record";
    data->threads.push_back(Thread{f[1], f[4], f[2] == "album", f[3], {}});
    return "";
  }
  if (kind == "picture") {
    if (data->threads.empty()) return "picture before any thread";
    Picture picture;
    if (!ParsePicture(f, &picture)) return "bad picture record";
    data->threads.back().pictures.push_back(std::move(picture));
    return "";
  }
  return "unknown record \"" + kind + "\"";
}

}  // namespace

bool ApplyStyleRecord(const std::string& key, const std::string& value, AnswerStyle* style) {
  AnswerStyle changed = *style;
  if (!ApplyStyle(key, value, &changed)) return false;
  *style = std::move(changed);
  return true;
}

bool UnescapeField(const std::string& field, std::string* bytes) {
  bytes->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      *bytes += field[i];
      continue;
    }
    if (++i >= field.size()) return false;
    switch (field[i]) {
      case '\\':
        *bytes += '\\';
        break;
      case 't':
        *bytes += '\t';
        break;
      case 'n':
        *bytes += '\n';
        break;
      case 'r':
        *bytes += '\r';
        break;
      case 'x':
        if (i + 2 >= field.size() || HexDigit(field[i + 1]) < 0 ||
            HexDigit(field[i + 2]) < 0) {
          return false;
        }
        *bytes += static_cast<char>(HexDigit(field[i + 1]) * 16 + HexDigit(field[i + 2]));
        i += 2;
        break;
      default:
        return false;
    }
  }
  return true;
}

std::optional<DataSet> ReadDataSet(const std::string& folder, std::string* error) {
  std::ifstream in(std::filesystem::path(folder) / kDataSetFile, std::ios::binary);
  if (!in) {
    *error = "cannot open " + folder + "/" + kDataSetFile;
    return std::nullopt;
  }
  DataSet data;
  std::string line;
  std::vector<std::string> fields;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    auto fail = [&](const std::string& reason) {
      *error = std::string(kDataSetFile) + ":" + std::to_string(number) + ": " + reason;
      return std::nullopt;
    };
    if (number == 1) {
      if (line != kDataSetHeader) return fail("not a data set of a known version");
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (!SplitRecord(line, &fields)) return fail("bad escape");
    std::string reason = ApplyRecord(fields, &data);
    if (!reason.empty()) return fail(reason);
  }
  if (number == 0) {
    *error = std::string(kDataSetFile) + ": empty";
    return std::nullopt;
  }
  std::filesystem::path pictures = std::filesystem::path(folder) / kPictureFolder;
  std::error_code ec;
  if (std::filesystem::is_directory(pictures, ec))
    data.picture_folder = pictures.string();
  return data;
}

}  // namespace standin
