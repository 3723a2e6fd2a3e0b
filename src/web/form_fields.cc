// Percent-encoding, query parameters and signed forms.
#include "web/form_fields.h"

#include <algorithm>

#include "platform/sha256.h"

namespace web {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~') {
      out.push_back(c);
    } else {
      out += {'%', kHex[b >> 4], kHex[b & 15]};
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

FormFields QueryFields(std::string_view query) {
  FormFields fields;
  while (!query.empty() && (query.front() == '&' || query.front() == '?')) query.remove_prefix(1);
  for (size_t start = 0; start < query.size();) {
    const size_t end = std::min(query.find('&', start), query.size());
    const std::string_view pair = query.substr(start, end - start);
    if (!pair.empty()) {
      const size_t equals = pair.find('=');
      fields.emplace_back(pair.substr(0, equals),
                          equals == std::string_view::npos ? "" : pair.substr(equals + 1));
    }
    start = end + 1;
  }
  return fields;
}

std::string QueryValue(std::string_view address, std::string_view name) {
  const size_t question = address.find('?');
  if (question == std::string_view::npos) return {};
  std::string_view query = address.substr(question + 1);
  query = query.substr(0, query.find('#'));
  for (const auto& [key, value] : QueryFields(query)) {
    if (key == name) return value;
  }
  return {};
}

std::string FormSign(FormFields fields, std::string_view key) {
  std::sort(fields.begin(), fields.end());
  std::string text;
  for (const auto& [name, value] : fields) text += name + "=" + value;
  text += key;
  std::string sign = platform::Md5Hex(text);
  std::transform(sign.begin(), sign.end(), sign.begin(),
                 [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
  return sign;
}

std::string SignedFormBody(const FormFields& fields, std::string_view key) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body += (body.empty() ? "" : "&") + PercentEncode(name) + "=" + PercentEncode(value);
  }
  return body + "&sign=" + FormSign(fields, key);
}

}  // namespace web
