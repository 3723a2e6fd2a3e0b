// Telling web addresses from file and folder names, and the "file://"
// address of a name on disk.
#include "frame/desktop_address.h"

#include <filesystem>
#include <string>

#include "runtime/gbk.h"

namespace frame {

using rt::Text;
using rt::ToUtf8;

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Every byte but the unreserved characters and the separator as "%XX".
std::string PercentEncodedPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    if (IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_' ||
        c == '~' || c == '/') {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

// Returns true iff `text` starts with a scheme of two or more characters
// followed by "://".
bool IsWebAddress(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return false;
  size_t end = 1;
  while (end < text.size() &&
         (IsAsciiLetter(text[end]) || IsAsciiDigit(text[end]) || text[end] == '+' ||
          text[end] == '-' || text[end] == '.')) {
    ++end;
  }
  return end >= 2 && text.substr(end, 3) == "://";
}

}  // namespace

Text DesktopAddress(std::string_view file, std::string_view directory) {
  if (IsWebAddress(file)) return Text(file);
  if (file.empty()) return {};
  std::filesystem::path path(ToUtf8(file));
  if (path.is_relative() && !directory.empty()) {
    path = std::filesystem::path(ToUtf8(directory)) / path;
  }
  std::error_code ec;
  path = std::filesystem::absolute(path, ec);
  if (ec || !std::filesystem::exists(path, ec)) return {};
  return "file://" + PercentEncodedPath(path.string());
}

}  // namespace frame
