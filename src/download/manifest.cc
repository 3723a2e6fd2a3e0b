// The album folder's manifest: its lines printed and parsed through the JSON
// object, read whole lines only, appended one whole line at a time.
#include "download/manifest.h"

#include <time.h>

#include <algorithm>
#include <cstdio>

#include "json/json_value.h"
#include "platform/append_file.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/sha256.h"
#include "runtime/gbk.h"

namespace download {
namespace {

bool IsDigest(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

rt::Text Member(const json::JsonHandle& object, std::string_view key) {
  return rt::Text(json::JsonGetMember(object, key).AsString());
}

// `text` as whole GBK characters: a lead byte without its trail byte, and a
// byte no GBK character starts with, become '?'. Texts from the service may
// hold such bytes, and the JSON object copies them as they are: a lone lead
// byte would then take the escape or quote after it into its character.
std::string WholeCharacters(std::string_view text) {
  std::string whole;
  whole.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      whole += text[i];
    } else if (platform::IsGbkLeadByte(text[i]) && i + 1 < text.size() &&
               platform::IsGbkTrailByte(text[i + 1])) {
      whole += text.substr(i++, 2);
    } else {
      whole += '?';
    }
  }
  return whole;
}

}  // namespace

std::string PrintManifestLine(const ManifestLine& line) {
  // Composed in GBK, where the JSON object's escapes keep every character
  // whole, then converted as one text: escapes are ASCII, so the converted
  // line is the same object in UTF-8.
  const auto text = [](std::string_view key, std::string_view value) {
    return json::JsonQuote(key) + ":" + json::JsonQuote(WholeCharacters(value));
  };
  const rt::Text gbk = "{" + text("file", line.file) + "," + text("id", line.id) + "," +
                       text("description", line.description) + "," + text("address", line.address) +
                       ",\"bytes\":" + std::to_string(line.bytes) + "," +
                       text("sha256", line.sha256) + "," + text("time", line.time) + "," +
                       text("album_id", line.album_id) + "," + text("album", line.album) + "," +
                       text("board", line.board) + "}";
  return rt::ToUtf8(gbk);
}

std::optional<ManifestLine> ParseManifestLine(std::string_view utf8) {
  json::JsonHandle object;
  if (!json::JsonParse(object, rt::FromUtf8(utf8)) || object.kind() != json::JsonKind::kObject) {
    return std::nullopt;
  }
  ManifestLine line{.file = Member(object, "file"),
                    .id = Member(object, "id"),
                    .description = Member(object, "description"),
                    .address = Member(object, "address"),
                    .bytes = json::JsonGetMember(object, "bytes").AsInt64(),
                    .sha256 = Member(object, "sha256"),
                    .time = Member(object, "time"),
                    .album_id = Member(object, "album_id"),
                    .album = Member(object, "album"),
                    .board = Member(object, "board")};
  // A name with a separator would point out of the folder.
  if (line.file.empty() || line.file.find('/') != rt::Text::npos || line.id.empty() ||
      !IsDigest(line.sha256)) {
    return std::nullopt;
  }
  return line;
}

std::vector<ManifestLine> ReadManifestFile(const std::string& path) {
  std::vector<ManifestLine> lines;
  const std::optional<std::string> bytes = platform::ReadWholeFile(path);
  if (!bytes) return lines;
  std::string_view rest = *bytes;
  // Only lines ended by a line feed: what follows the last one was cut.
  for (size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
    if (std::optional<ManifestLine> line = ParseManifestLine(rest.substr(0, end))) {
      lines.push_back(std::move(*line));
    }
    rest.remove_prefix(end + 1);
  }
  return lines;
}

std::string UtcStamp(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm utc {};
  ::gmtime_r(&t, &utc);
  char stamp[64];  // room for any year the clock gives
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return stamp;
}

Manifest::Manifest(const rt::Text& folder, bool on)
    : on_(on), folder_(rt::ToUtf8(folder)), path_(folder_ + std::string(kManifestName)) {
  if (!on_) return;
  for (ManifestLine& line : ReadManifestFile(path_)) Take(std::move(line));
}

bool Manifest::HoldsId(std::string_view id) const { return ids_.contains(rt::Text(id)); }

bool Manifest::HoldsInPlace(std::string_view id) {
  if (!HoldsId(id)) return false;
  const auto [it, asked] = in_place_.try_emplace(rt::Text(id), false);
  if (!asked) return it->second;
  for (const ManifestLine& line : lines_) {
    if (line.id == id && FileMatches(folder_ + rt::ToUtf8(line.file), line.sha256)) {
      return it->second = true;
    }
  }
  return false;
}

rt::Text Manifest::FileHolding(std::string_view id, std::string_view sha256) {
  if (!HoldsId(id)) return {};
  for (const ManifestLine& line : lines_) {
    if (line.id == id && line.sha256 == sha256 && FileMatches(folder_ + rt::ToUtf8(line.file), sha256))
      return line.file;
  }
  return {};
}

bool FileMatches(const std::string& path, std::string_view sha256) {
  const std::optional<std::string> bytes = platform::ReadWholeFile(path);
  return bytes && platform::Sha256Hex(*bytes) == sha256;
}

const ManifestLine* Manifest::LineFor(std::string_view name) const {
  const auto it = by_file_.find(rt::Text(name));
  return it == by_file_.end() ? nullptr : &lines_[it->second];
}

bool Manifest::Append(const ManifestLine& line) {
  if (!on_ || !platform::AppendLine(path_, PrintManifestLine(line))) return false;
  Take(line);
  return true;
}

void Manifest::Take(ManifestLine line) {
  ids_.insert(line.id);
  by_file_[line.file] = lines_.size();
  lines_.push_back(std::move(line));
}

}  // namespace download
