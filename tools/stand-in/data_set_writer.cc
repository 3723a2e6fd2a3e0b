// The writer of a data-set folder (layout in data_set_format.h).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "stand-in/data_set_format.h"

namespace standin {
namespace {

const char* JsonTextName(JsonText form) {
  return form == JsonText::kGbk ? "gbk" : "escaped";
}

const char* AddressName(AddressKind kind) {
  switch (kind) {
    case AddressKind::kEmpty:
      return "empty";
    case AddressKind::kNotHttp:
      return "not-http";
    case AddressKind::kNormal:
    default:
      return "normal";
  }
}

std::vector<std::pair<std::string, std::string>> StyleEntries(const AnswerStyle& s) {
  return {{"page_charset", s.page_charset},
          {"album_list_text", JsonTextName(s.album_list_text)},
          {"list_text", JsonTextName(s.list_text)},
          {"guide_text", JsonTextName(s.guide_text)},
          {"escape_slashes", s.escape_slashes ? "1" : "0"},
          {"guide_img_format", s.guide_img_format},
          {"guide_amount_cap", std::to_string(s.guide_amount_cap)},
          {"guide_next_cap", std::to_string(s.guide_next_cap)},
          {"list_wall_type", s.list_wall_type},
          {"newest_version", s.newest_version}};
}

// The repeatable style records, one per entry.
std::vector<std::pair<std::string, std::string>> StyleLists(const AnswerStyle& s) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const auto& [from, to] : s.renamed_members)
    entries.emplace_back("renamed_member", from + "=" + to);
  for (const auto& [name, parent] : s.nested_members)
    entries.emplace_back("nested_member", name + "=" + parent);
  for (const std::string& name : s.retyped_members) entries.emplace_back("retyped_member", name);
  for (const auto& [from, to] : s.moved_paths) entries.emplace_back("moved_path", from + "=" + to);
  if (s.today != 0) entries.emplace_back("today", PrintTodayParts(s.today));
  return entries;
}

void WriteRecord(std::ofstream& out, std::initializer_list<std::string> fields) {
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) out << '\t';
    out << EscapeField(field);
    first = false;
  }
  out << '\n';
}

bool WriteBodies(const DataSet& data, const std::filesystem::path& folder,
                 std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const Thread& thread : data.threads) {
    for (const Picture& picture : thread.pictures) {
      std::string body = PictureBody(data, picture);  // before the file is truncated
      std::ofstream out(folder / StoredPictureName(picture),
                        std::ios::binary | std::ios::trunc);
      out.write(body.data(), static_cast<std::streamsize>(body.size()));
      if (!out) {
        *error = "cannot write " + (folder / StoredPictureName(picture)).string();
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string EscapeField(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out;
}

bool WriteDataSet(const DataSet& data, const std::string& folder, bool with_bodies,
                  std::string* error) {
  std::error_code ec;
  std::filesystem::path root(folder);
  std::filesystem::create_directories(root, ec);
  std::filesystem::path temporary = root / (std::string(kDataSetFile) + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      *error = "cannot create " + temporary.string();
      return false;
    }
    out << kDataSetHeader << '\n';
    WriteRecord(out, {"seed", std::to_string(data.seed)});
    WriteRecord(out, {"board", data.board, data.forum_id});
    for (const auto& [key, value] : StyleEntries(data.style))
      WriteRecord(out, {"style", key, value});
    for (const auto& [key, value] : StyleLists(data.style)) WriteRecord(out, {"style", key, value});
    for (const Thread& thread : data.threads) {
      WriteRecord(out, {"thread", thread.tid, thread.album ? "album" : "thread",
                        thread.has_sep, thread.title});
      for (const Picture& p : thread.pictures) {
        WriteRecord(
            out, {"picture", p.id, FormatName(p.format), std::to_string(p.size),
                  p.by_starter ? "starter" : "other", AddressName(p.address), p.descr});
      }
    }
    out.flush();
    if (!out) {
      *error = "cannot write " + temporary.string();
      return false;
    }
  }
  std::filesystem::rename(temporary, root / kDataSetFile, ec);
  if (ec) {
    *error = "cannot rename " + temporary.string() + ": " + ec.message();
    return false;
  }
  return !with_bodies || WriteBodies(data, root / kPictureFolder, error);
}

}  // namespace standin
