// The JSON printer: compact text, no white space added. Strings are printed
// between double quotes with the escapes below; double-byte characters pass
// through unescaped, so a trail byte equal to "\" stays as it is.
#include <algorithm>
#include <array>
#include <string>

#include "json/json_document.h"

namespace json::json_internal {
namespace {

// 0: copied as it is; 1: a lead byte; other values: the letter of a short
// escape, or 'u' for the \u00XX form.
constexpr std::array<char, 256> kPrintClass = [] {
  std::array<char, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = 'u';
  t['\b'] = 'b';
  t['\t'] = 't';
  t['\n'] = 'n';
  t['\r'] = 'r';
  t['"'] = '"';
  t['/'] = '/';
  t['\\'] = '\\';
  for (int c = 0x81; c <= 0xFE; ++c) t[c] = 1;
  return t;
}();

// A lead byte starts a multi-byte character, and the character's bytes are
// printed as they are: a GBK character is a lead and a trail byte, a GB18030
// four-byte character two such pairs of a lead and a digit. Printing the
// pairs unescaped keeps every character whole (a trail byte 0x5C stays one
// byte), and the parser reads the same pairs back.
//
// The one byte never copied after a lead byte is the double quote, which no
// character contains: it would end the string. It gets its escape instead;
// only a malformed text (a lone lead byte before a quote inside a
// single-quoted string) has that shape, and it then reads back with the lead
// byte paired with the backslash.
size_t MultiByteLength(const unsigned char* s, size_t i, size_t n) {
  return i + 1 < n && s[i + 1] != '"' ? 2 : 1;
}

void PrintString(const char* chars, size_t n, std::string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(chars);
  out.push_back('"');
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (i < n && kPrintClass[s[i]] == 0) ++i;
    out.append(chars + run, i - run);
    if (i >= n) break;
    char cls = kPrintClass[s[i]];
    if (cls == 1) {
      size_t w = MultiByteLength(s, i, n);
      out.append(chars + i, w);
      i += w;
    } else if (cls == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      char escape[6] = {'\\', 'u', '0', '0', kHex[s[i] >> 4], kHex[s[i] & 15]};
      out.append(escape, 6);
      ++i;
    } else {
      out.push_back('\\');
      out.push_back(cls);
      ++i;
    }
  }
  out.push_back('"');
}

}  // namespace

void PrintNode(const Node& node, std::string& out) {
  switch (node.kind) {
    case JsonKind::kNull:
      out.append("null");
      break;
    case JsonKind::kBoolean:
      out.append(node.boolean ? "true" : "false");
      break;
    case JsonKind::kDouble:
      PrintDouble(node.real, out);
      break;
    case JsonKind::kInt:
      PrintInteger(node.int32, out);
      break;
    case JsonKind::kInt64:
      PrintInteger(node.int64, out);
      break;
    case JsonKind::kString:
      PrintString(node.chars, node.count, out);
      break;
    case JsonKind::kObject:
      out.push_back('{');
      for (uint32_t i = 0; i < node.count; ++i) {
        if (i > 0) out.push_back(',');
        PrintString(node.members[i].key, node.members[i].key_length, out);
        out.push_back(':');
        PrintNode(node.members[i].value, out);
      }
      out.push_back('}');
      break;
    case JsonKind::kArray:
      out.push_back('[');
      for (uint32_t i = 0; i < node.count; ++i) {
        if (i > 0) out.push_back(',');
        PrintNode(node.items[i], out);
      }
      out.push_back(']');
      break;
    case JsonKind::kDate:
      out.push_back('#');
      PrintHttpDate(*node.date, out);
      out.push_back('#');
      break;
    case JsonKind::kBinary:
      out.push_back('<');
      PrintBase64(node.bytes, node.count, out);
      out.push_back('>');
      break;
  }
}

}  // namespace json::json_internal

namespace json {

Text JsonQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  json_internal::PrintString(text.data(), text.size(), out);
  return out;
}

}  // namespace json
