// The wire forms of the stand-in's texts: GBK, JSON strings in both of the
// service's styles, HTML and script escapes, percent encoding.
#include "stand-in/texts.h"

#include <cstdint>
#include <cstdio>

#include "platform/codepage.h"

namespace standin {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendUnicodeEscape(std::string* out, uint16_t unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
  out->append(buffer);
}

// Appends the escape of one ASCII byte, or the byte itself.
void AppendJsonAscii(std::string* out, unsigned char c, bool escape_slashes) {
  switch (c) {
    case '"':
      out->append("\\\"");
      return;
    case '\\':
      out->append("\\\\");
      return;
    case '\r':
      out->append("\\r");
      return;
    case '\n':
      out->append("\\n");
      return;
    case '\t':
      out->append("\\t");
      return;
    case '/':
      out->append(escape_slashes ? "\\/" : "/");
      return;
    default:
      if (c < 0x20 || c == 0x7F) {
        AppendUnicodeEscape(out, c);
      } else {
        out->push_back(static_cast<char>(c));
      }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Gbk(std::string_view utf8) { return platform::FromUtf8(utf8); }

std::string JsonEscapeGbk(std::string_view gbk, bool escape_slashes) {
  std::string out;
  out.reserve(gbk.size() + 8);
  for (size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) {
      out.push_back(gbk[i]);
      out.push_back(gbk[++i]);  // the trail byte, even when it is 0x5C
    } else if (c >= 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      AppendJsonAscii(&out, c, escape_slashes);
    }
  }
  return out;
}

std::string JsonString(std::string_view utf8, JsonText form, bool escape_slashes) {
  std::string out = "\"";
  if (form == JsonText::kGbk) {
    out += JsonEscapeGbk(Gbk(utf8), escape_slashes);
  } else if (form == JsonText::kUtf8) {
    for (char c : utf8) {
      auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x80)
        out.push_back(c);
      else
        AppendJsonAscii(&out, byte, escape_slashes);
    }
  } else {
    for (char16_t unit : platform::MultiByteToWide(platform::CodePage::kUtf8, utf8)) {
      if (unit < 0x80) {
        AppendJsonAscii(&out, static_cast<unsigned char>(unit), escape_slashes);
      } else {
        AppendUnicodeEscape(&out, unit);
      }
    }
  }
  out += '"';
  return out;
}

std::string HtmlEscape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string ScriptEscape(std::string_view utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '<':
        out += "\\x3C";
        break;  // keeps "</script>" out of the page
      default:
        out += c;
    }
  }
  return out;
}

std::string PercentEncode(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                 (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+' && plus_is_space) {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    std::string_view item = query.substr(start, end - start);
    if (!item.empty()) {
      size_t eq = item.find('=');
      if (eq == std::string_view::npos) {
        pairs.emplace_back(PercentDecode(item), "");
      } else {
        pairs.emplace_back(PercentDecode(item.substr(0, eq)),
                           PercentDecode(item.substr(eq + 1)));
      }
    }
    start = end + 1;
  }
  return pairs;
}

bool IsUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    int more = c < 0x80                   ? 0
               : (c >= 0xC2 && c <= 0xDF) ? 1
               : (c >> 4) == 14           ? 2
               : (c >= 0xF0 && c <= 0xF4) ? 3
                                          : -1;
    if (more < 0 || i + more >= bytes.size() + (more == 0 ? 1 : 0)) return false;
    for (int k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2) return false;
    }
    i += more + 1;
  }
  return true;
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace standin
