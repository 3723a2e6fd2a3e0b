// The GB18030 bytes of the characters that \u escapes name. A page of the
// service escapes every Chinese character, so each conversion is looked up
// in a table that fills itself on first use of a character instead of
// calling the code-page converter once per escape.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "json/json_document.h"
#include "platform/codepage.h"

namespace json::json_internal {
namespace {

// Entry: the bytes in the low 32 bits and their count above; 0 = not yet
// known. Racing threads store the same value, so relaxed order suffices.
std::atomic<uint64_t> bmp_table[0x10000];

size_t Convert(std::u16string_view units, char* out) {
  std::string bytes = platform::WideToMultiByte(platform::CodePage::kGb18030, units);
  size_t n = std::min<size_t>(bytes.size(), 4);
  std::memcpy(out, bytes.data(), n);
  return n;
}

}  // namespace

size_t WriteGb18030(uint32_t code_point, char* out) {
  if (code_point < 0x80) {
    *out = static_cast<char>(code_point);
    return 1;
  }
  if (code_point > 0xFFFF) {
    uint32_t v = code_point - 0x10000;
    char16_t pair[2] = {static_cast<char16_t>(0xD800 + (v >> 10)),
                        static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
    return Convert(std::u16string_view(pair, 2), out);
  }
  uint64_t entry = bmp_table[code_point].load(std::memory_order_relaxed);
  if (entry == 0) {
    char bytes[4] = {};
    char16_t unit = static_cast<char16_t>(code_point);
    size_t n = Convert(std::u16string_view(&unit, 1), bytes);
    if (n == 0) return 0;
    uint32_t packed;
    std::memcpy(&packed, bytes, 4);
    entry = uint64_t{n} << 32 | packed;
    bmp_table[code_point].store(entry, std::memory_order_relaxed);
  }
  uint32_t packed = static_cast<uint32_t>(entry);
  std::memcpy(out, &packed, 4);
  return static_cast<size_t>(entry >> 32);
}

void AppendGb18030(uint32_t code_point, std::string& out) {
  char bytes[4];
  out.append(bytes, WriteGb18030(code_point, bytes));
}

}  // namespace json::json_internal
