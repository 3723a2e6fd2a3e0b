// The text commands; see text_commands.h for the shared rules.
#include "runtime/text_commands.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace rt {
namespace {

bool IsLead(char c) { return platform::IsTextLeadByte(c); }

bool IsSpaceAt(std::string_view t, size_t i) {
  return t[i] == ' ' || (t[i] == '\xA1' && i + 1 < t.size() && t[i + 1] == '\xA1');
}

// Width of the character at i: 2 for a lead byte with a byte after it.
size_t CharWidth(std::string_view t, size_t i) {
  return IsLead(t[i]) && i + 1 < t.size() ? 2 : 1;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameBytes(const char* a, std::string_view b, bool fold_case) {
  if (!fold_case) return std::memcmp(a, b.data(), b.size()) == 0;
  for (size_t i = 0; i < b.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// Walks region [begin, end) of `text` one character at a time and calls
// on_hit(index) at every place where `sought` matches wholly inside the
// region; stops when on_hit returns false.
template <typename OnHit>
void WalkMatches(std::string_view text, size_t begin, size_t end, std::string_view sought,
                 bool fold_case, OnHit on_hit) {
  size_t i = begin;
  while (i < end && end - i >= sought.size()) {
    if (IsLead(text[i]) && i + 1 >= text.size()) return;
    if (SameBytes(text.data() + i, sought, fold_case) && !on_hit(i)) return;
    i += CharWidth(text, i);
  }
}

}  // namespace

int TextLength(std::string_view text) { return static_cast<int>(text.size()); }

Text LeftText(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<size_t>(n)));
}

Text RightText(std::string_view text, int n) {
  if (n <= 0) return {};
  size_t keep = std::min(text.size(), static_cast<size_t>(n));
  return Text(text.substr(text.size() - keep));
}

Text MidText(std::string_view text, int start, int n) {
  long long p = static_cast<long long>(start) - 1;
  if (p < 0 || p >= static_cast<long long>(text.size()) || n <= 0) return {};
  return Text(text.substr(static_cast<size_t>(p), static_cast<size_t>(n)));
}

Text Character(uint8_t code) {
  if (code == 0) return {};
  return Text(1, static_cast<char>(code));
}

int FindText(std::string_view text, std::string_view sought, std::optional<int> start,
             bool ignore_case) {
  size_t length = text.size();
  size_t b = start ? static_cast<size_t>(std::max(*start - 1LL, 0LL)) : 0;
  if (b >= length) return -1;
  if (sought.empty()) return 1;
  int found = -1;
  WalkMatches(text, b, length, sought, ignore_case, [&](size_t i) {
    found = static_cast<int>(i) + 1;
    return false;
  });
  return found;
}

int FindTextReverse(std::string_view text, std::string_view sought, std::optional<int> start,
                    bool ignore_case) {
  size_t length = text.size();
  size_t b = start ? static_cast<size_t>(std::max(*start - 1LL, 0LL)) : length;
  size_t end = std::min(b, length);
  if (end == 0) return -1;
  if (sought.empty()) return 1;
  int found = -1;
  WalkMatches(text, 0, end, sought, ignore_case, [&](size_t i) {
    found = static_cast<int>(i) + 1;
    return true;
  });
  return found;
}

Text ToLowerCase(std::string_view text) {
  Text out(text);
  for (size_t i = 0; i < out.size(); i += CharWidth(out, i)) {
    if (!IsLead(out[i])) out[i] = Fold(out[i]);
  }
  return out;
}

Text TrimText(std::string_view text) {
  size_t first = text.size();
  size_t last_end = 0;
  for (size_t i = 0; i < text.size();) {
    size_t width = CharWidth(text, i);
    if (!IsSpaceAt(text, i)) {
      if (first == text.size()) first = i;
      last_end = i + width;
    }
    i += width;
  }
  if (first >= last_end) return {};
  return Text(text.substr(first, last_end - first));
}

Text RemoveSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t width = CharWidth(text, i);
    if (!IsSpaceAt(text, i)) out.append(text.substr(i, width));
    i += width;
  }
  return out;
}

Text ReplaceText(std::string_view text, std::string_view sought, std::string_view replacement,
                 std::optional<int> start, std::optional<int> count, bool case_sensitive) {
  size_t length = text.size();
  size_t b = start ? static_cast<size_t>(std::max(*start - 1LL, 0LL)) : 0;
  int64_t n = count.value_or(-1);  // 64 bits: a given INT_MIN still counts down
  if (length == 0 || sought.empty() || b >= length || n == 0) return Text(text);
  Text out(text.substr(0, b));
  size_t i = b;
  while (length - i >= sought.size()) {
    // As in FindText, a lead byte directly before the end is never compared.
    if (IsLead(text[i]) && i + 1 >= length) break;
    if (SameBytes(text.data() + i, sought, !case_sensitive)) {
      out.append(replacement);
      i += sought.size();
      if (n != -1 && --n == 0) break;
      continue;
    }
    size_t width = CharWidth(text, i);
    out.append(text.substr(i, width));
    i += width;
  }
  out.append(text.substr(std::min(i, length)));
  return out;
}

std::vector<Text> SplitText(std::string_view text, std::optional<std::string_view> delimiter,
                            std::optional<int> max_count) {
  std::string_view d = delimiter.value_or(",");
  int m = max_count ? std::max(*max_count, 0) : -1;
  std::vector<Text> pieces;
  if (text.empty() || m == 0) return pieces;
  if (d.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t piece_start = 0;
  size_t i = 0;
  while (i < text.size() && text.size() - i >= d.size()) {
    if (std::memcmp(text.data() + i, d.data(), d.size()) == 0) {
      pieces.emplace_back(text.substr(piece_start, i - piece_start));
      i += d.size();
      piece_start = i;
      if (m != -1 && --m == 0) break;
    } else {
      i += CharWidth(text, i);
    }
  }
  if (piece_start < text.size() && m != 0) pieces.emplace_back(text.substr(piece_start));
  return pieces;
}

Text Spaces(int n) { return n < 1 ? Text() : Text(static_cast<size_t>(n), ' '); }

Text JoinTexts(std::initializer_list<std::string_view> texts) {
  size_t total = 0;
  for (std::string_view t : texts) total += t.size();
  Text out;
  out.reserve(total);
  for (std::string_view t : texts) out.append(t);
  return out;
}

int CompareTexts(std::string_view a, std::string_view b) {
  int c = a.compare(b);  // char_traits<char>::compare compares as unsigned char
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool IsControlCharacter(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

void RemoveControlCharacters(Text& text) { std::erase_if(text, IsControlCharacter); }

Text OneLine(std::string_view text) {
  Text line(text);
  std::replace_if(line.begin(), line.end(), IsControlCharacter, '?');
  return line;
}

}  // namespace rt
