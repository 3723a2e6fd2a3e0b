// The part names and the two digests of the today parts. MD5 comes from
// OpenSSL's libcrypto, which the TLS mode links already.
#include "stand-in/today.h"

#include <openssl/evp.h>

#include <algorithm>

namespace standin {

const std::vector<std::pair<TodayPart, const char*>>& TodayPartNames() {
  static const std::vector<std::pair<TodayPart, const char*>> names = {
      {TodayPart::kThread, "thread"},     {TodayPart::kHtmlCheck, "html-check"},
      {TodayPart::kAlbums, "albums"},     {TodayPart::kGuide, "guide"},
      {TodayPart::kList, "list"},         {TodayPart::kPictures, "pictures"},
      {TodayPart::kShare, "share"},       {TodayPart::kPicpage, "picpage"},
      {TodayPart::kHttps, "https"},
  };
  return names;
}

bool ParseTodayParts(std::string_view text, TodayParts* parts, std::string* error) {
  if (text == "all") {
    *parts = kAllTodayParts;
    return true;
  }
  TodayParts parsed = 0;
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view name = text.substr(0, comma);
    bool known = false;
    for (const auto& [part, part_name] : TodayPartNames()) {
      if (name == part_name) {
        parsed |= static_cast<uint32_t>(part);
        known = true;
      }
    }
    if (!known) {
      *error = "unknown part \"" + std::string(name) + "\" (parts: all";
      for (const auto& entry : TodayPartNames()) *error += std::string(", ") + entry.second;
      *error += ")";
      return false;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
    if (text.empty()) {
      *error = "a comma list ends in a comma";
      return false;
    }
  }
  *parts = parsed;
  return true;
}

std::string PrintTodayParts(TodayParts parts) {
  std::string text;
  for (const auto& [part, name] : TodayPartNames()) {
    if (!HasPart(parts, part)) continue;
    if (!text.empty()) text += ",";
    text += name;
  }
  return text;
}

std::string Md5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) {
    return {};  // only an allocation failure inside the library ends here
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::string PictureAuth(std::string_view id) {
  return Md5Hex(std::string(id) + ":stand-in").substr(0, 16);
}

std::string FormSign(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::vector<std::pair<std::string, std::string>> sorted;
  for (const auto& field : fields) {
    if (field.first != "sign") sorted.push_back(field);
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text;
  for (const auto& [key, value] : sorted) text += key + "=" + value;
  std::string sign = Md5Hex(text + "tiebaclient!!!");
  std::transform(sign.begin(), sign.end(), sign.begin(),
                 [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
  return sign;
}

}  // namespace standin
