// Conversions between the code pages tiepic meets: GBK (936) inside the
// program, GB18030 (54936) for JSON escapes, UTF-8 (65001) at the edges, and
// UTF-16 where an engine wants wide text. Built over iconv; GBK over tables
// of our own in which every double-byte pair round-trips (codepage_gbk.h).
//
// Invalid input never stops a conversion: a byte that does not start a valid
// sequence in the source code page becomes U+FFFD on the way to UTF-16 (and
// that byte alone is skipped, so the next one is tried afresh); a character
// that the target code page cannot hold becomes '?', the default character of
// GBK and of the ANSI code pages generally. UTF-8 and GB18030 can hold every
// scalar value, so only GBK ever uses '?'. A lone surrogate in UTF-16 input
// counts as unmappable.
//
// Thread safety: every function may be called from any thread; each thread
// keeps its own iconv descriptors.
#ifndef TIEPIC_PLATFORM_CODEPAGE_H_
#define TIEPIC_PLATFORM_CODEPAGE_H_

#include <string>
#include <string_view>

namespace platform {

enum class CodePage { kGbk = 936, kGb18030 = 54936, kUtf8 = 65001 };

// Multi-byte text in `cp` to UTF-16.
std::u16string MultiByteToWide(CodePage cp, std::string_view bytes);

// UTF-16 to multi-byte text in `cp`.
std::string WideToMultiByte(CodePage cp, std::u16string_view wide);

// Multi-byte text from one code page to another (through UTF-16 semantics:
// invalid source bytes become U+FFFD, which GBK then writes as '?').
std::string Convert(CodePage from, CodePage to, std::string_view bytes);

// Where a double-byte character begins. Two rules, each with its own job:
//
// - The text rule, of the runtime's text commands and of everything that
//   must cut and match texts as they do (names cleaned for files, INI names):
//   a byte 0x80 or above starts a double-byte character and the byte after
//   it is its second byte, whatever it is. Scanning by it never splits a
//   character of valid GBK text, and treats any other text the same way on
//   every pass.
// - Code page 936's own rule, of the conversions and of the JSON reader,
//   which must tell a character from bytes that only look like one: a lead
//   byte 0x81..0xFE followed by a trail byte 0x40..0xFE other than 0x7F.
//   0x80 and 0xFF stand alone.
constexpr bool IsTextLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }
constexpr bool IsGbkLeadByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}
constexpr bool IsGbkTrailByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// The two edge conversions of the program's texts.
std::string ToUtf8(std::string_view gbk);
std::string FromUtf8(std::string_view utf8);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_CODEPAGE_H_
