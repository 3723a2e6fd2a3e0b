// Digits, markers, code pages and random letters for album retrieval.
#include "discovery/text_helpers.h"

#include <chrono>

#include "platform/codepage.h"
#include "web/regex_object.h"

namespace discovery {

rt::Text DigitsOnly(std::string_view text) {
  web::RegexObject regex;
  if (!regex.Search("[0-9]", text)) return {};
  rt::Text digits;
  const int count = regex.MatchCount();
  for (int i = 1; i <= count; ++i) digits += regex.MatchText(i);
  return digits;
}

rt::Text TextAfterLast(std::string_view text, std::string_view marker) {
  if (marker.empty()) return {};
  const size_t at = text.rfind(marker);
  if (at == std::string_view::npos) return {};
  return rt::Text(text.substr(at + marker.size()));
}

rt::Text Utf8ToGbk(const rt::Bytes& body) {
  if (body.empty()) return {};
  const std::string_view utf8(reinterpret_cast<const char*>(body.data()), body.size());
  return platform::Convert(platform::CodePage::kUtf8, platform::CodePage::kGbk, utf8);
}

uint32_t RandomInRange(uint32_t low, uint32_t high) {
  if (high < low) return 0;
  // The steady clock in nanoseconds stands in for the processor's cycle
  // counter: both move between two calls, which is all the letters need.
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  const uint32_t t = static_cast<uint32_t>(ticks);
  const uint32_t span = high - low + 1;  // 0 when the range is all of 2^32
  const uint32_t mixed = t * 23u + 7u;
  return span == 0 ? low + mixed : low + mixed % span;
}

rt::Text RandomLetters(int count) {
  rt::Text letters;
  for (int i = 0; i < count; ++i) letters += static_cast<char>(RandomInRange(97, 122));
  return letters;
}

}  // namespace discovery
