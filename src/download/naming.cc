// The two name-cleaning routines. Each removal is one pass over the text in
// place, with the matching rules of the runtime's ReplaceText (every
// occurrence, case-sensitive, stepping over double-byte characters), so the
// chain of removals gives what the same chain of ReplaceText calls would,
// without a new text per mark.
#include "download/naming.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace download {
namespace {

using rt::operator""_gbk;

bool IsLead(char c) { return platform::IsTextLeadByte(c); }

// Removes every occurrence of `sought` from `text`, scanning one character
// at a time; a lead byte at the very end stops the scan and stays.
void RemoveAll(rt::Text& text, std::string_view sought) {
  const size_t n = text.size();
  char* t = text.data();
  size_t i = 0, o = 0;
  while (n - i >= sought.size()) {
    if (std::memcmp(t + i, sought.data(), sought.size()) == 0) {
      i += sought.size();
      continue;
    }
    if (IsLead(t[i]) && i + 1 >= n) break;
    size_t width = IsLead(t[i]) ? 2 : 1;
    std::memmove(t + o, t + i, width);
    o += width;
    i += width;
  }
  std::memmove(t + o, t + i, n - i);
  text.resize(o + (n - i));
}

// The marks both routines remove, in their order, from the backslash on.
void RemoveCommonMarks(rt::Text& text) {
  for (std::string_view mark : {"\\", "/", "?", "*", "<", ">", "|"})
    RemoveAll(text, mark);
  for (const std::string* mark : {&"："_gbk, &"、"_gbk, &"？"_gbk, &"。"_gbk, &"（"_gbk,
                                  &"）"_gbk, &"·"_gbk, &"！"_gbk, &"，"_gbk}) {
    RemoveAll(text, *mark);
  }
  RemoveAll(text, ".");
  RemoveAll(text, "...");  // never found after the dots went; kept for the order's sake
}

// The length of the longest prefix of at most `max_length` bytes that ends
// on a character boundary.
// The longest prefix of at most `max_length` bytes that ends on a whole
// character; a lone lead byte at the very end is dropped too, since it would
// take the "." of the extension as its trail byte.
size_t WholeCharacterPrefix(std::string_view text, size_t max_length) {
  size_t i = 0;
  while (i < text.size()) {
    if (IsLead(text[i]) && i + 1 >= text.size()) break;
    size_t width = IsLead(text[i]) ? 2 : 1;
    if (i + width > max_length) break;
    i += width;
  }
  return i;
}

}  // namespace

rt::Text SafeAlbumName(rt::Text& name) {
  RemoveAll(name, ":");
  RemoveAll(name, "\"");
  RemoveAll(name, ":");  // a second pass, without further effect
  RemoveCommonMarks(name);
  RemoveAll(name, " ");
  return name;
}

rt::Text SafeDescription(rt::Text& description, int max_length) {
  RemoveAll(description, "\"");
  RemoveAll(description, "\\n");
  RemoveAll(description, "\\r");
  RemoveAll(description, ":");
  RemoveCommonMarks(description);
  RemoveAll(description, "\r\n");
  RemoveAll(description, "\n");
  RemoveAll(description, "\r");
  // A cut inside a double-byte character would leave a lone lead byte at
  // the end of the name; the cut goes back to the character's start.
  size_t limit = max_length > 0 ? static_cast<size_t>(max_length) : 0;
  description.resize(WholeCharacterPrefix(description, limit));
  description = rt::TrimText(description);
  return description;
}

namespace {

int Utf8Length(std::string_view gbk) { return static_cast<int>(rt::ToUtf8(gbk).size()); }

}  // namespace

rt::Text FitUtf8(std::string_view gbk, int max_utf8) {
  if (Utf8Length(gbk) <= max_utf8) return rt::Text(gbk);
  rt::Text fitted;
  int used = 0;
  for (size_t i = 0; i < gbk.size();) {
    // Cut where the conversion sees a character: by code page 936's rule.
    const size_t width =
        platform::IsGbkLeadByte(gbk[i]) && i + 1 < gbk.size() && platform::IsGbkTrailByte(gbk[i + 1])
            ? 2
            : 1;
    const std::string_view character = gbk.substr(i, width);
    const int length = Utf8Length(character);
    if (used + length > max_utf8) break;
    fitted.append(character);
    used += length;
    i += width;
  }
  return fitted;
}

rt::Text PathPiece(std::string_view text, int reserved) {
  rt::Text piece(text);
  SafeAlbumName(piece);
  rt::RemoveControlCharacters(piece);  // NUL cannot be part of a name at all
  return FitUtf8(piece, kNameLimit - reserved);
}

rt::Text AlbumIdPiece(std::string_view id) {
  constexpr int kLongestId = 100;
  constexpr int kCutId = 80;
  rt::Text piece = PathPiece(id);
  if (piece == id && static_cast<int>(piece.size()) <= kLongestId) return piece;
  // FNV-1a over the id's bytes: stable across runs and builds.
  uint64_t hash = 14695981039346656037ull;
  for (char c : id) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  piece = FitUtf8(piece, kCutId);
  return (piece.empty() ? rt::Text("id") : piece) + "." + hex;
}

rt::Text DescriptionName(rt::Text description, int64_t number, std::string_view extension) {
  SafeDescription(description, kDescriptionLimit);
  const int reserved = Utf8Length("(" + std::to_string(number) + ")" + rt::Text(extension));
  return FitUtf8(description, kNameLimit - reserved);
}

}  // namespace download
