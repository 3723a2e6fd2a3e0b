// Digits, markers, code pages and letters for album retrieval.
#include "discovery/text_helpers.h"

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

rt::Text AlbumLetters(std::string_view album_id) {
  // Letters drawn at random made a new folder at every listing. The hash is
  // written out here rather than std::hash, which may change with the
  // library and would move every untitled album's folder.
  uint32_t h = 2166136261u;
  for (const char c : album_id) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  rt::Text letters;
  letters += static_cast<char>('a' + h % 26);
  letters += static_cast<char>('a' + h / 26 % 26);
  return letters;
}

}  // namespace discovery
