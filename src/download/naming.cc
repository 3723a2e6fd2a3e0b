// The two name-cleaning routines. Each removal is one pass over the text in
// place, with the matching rules of the runtime's ReplaceText (every
// occurrence, case-sensitive, stepping over double-byte characters), so the
// chain of removals gives what the same chain of ReplaceText calls would,
// without a new text per mark.
#include "download/naming.h"

#include <cstring>
#include <string_view>

#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace download {
namespace {

using rt::operator""_gbk;

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

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

}  // namespace download
