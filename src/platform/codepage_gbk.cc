// The GBK tables, filled once from iconv and completed where iconv's CP936
// has no character, and the two conversions that read them.
//
// Design note: converting through iconv on every call was rejected; pages
// run to hundreds of kilobytes and iconv costs several nanoseconds a byte,
// while a table lookup per character keeps a 300 KB page well under a
// millisecond.
#include "platform/codepage_gbk.h"
#include "platform/codepage.h"

#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr unsigned kTrailSpan = 0xFE - 0x40 + 1;  // trail 0x7F is a hole
constexpr unsigned kPairs = (0xFE - 0x81 + 1) * kTrailSpan;

bool IsLead(unsigned char b) { return IsGbkLeadByte(static_cast<char>(b)); }
bool IsTrail(unsigned char b) { return IsGbkTrailByte(static_cast<char>(b)); }
size_t PairIndex(unsigned lead, unsigned trail) {
  return (lead - 0x81) * kTrailSpan + (trail - 0x40);
}
bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The private-use code point of a pair in a user-defined area, or 0. Code
// page 936 numbers the areas from U+E000 in this order: AAA1..AFFE,
// F8A1..FEFE (94 trails a lead), A140..A7A0 (trails 40..7E and 80..A0).
char16_t UserDefined(unsigned lead, unsigned trail) {
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) {
    return static_cast<char16_t>(0xE000 + (lead - 0xAA) * 94 + (trail - 0xA1));
  }
  if (lead >= 0xF8 && trail >= 0xA1) {
    return static_cast<char16_t>(0xE234 + (lead - 0xF8) * 94 + (trail - 0xA1));
  }
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0) {
    return static_cast<char16_t>(0xE4C6 + (lead - 0xA1) * 96 + (trail - 0x40) -
                                 (trail > 0x7F));
  }
  return 0;
}

// Decodes short byte sequences with one iconv converter; the unit of a
// sequence that is exactly one BMP character, else 0.
class IconvDecoder {
 public:
  explicit IconvDecoder(const char* from) : cd_(iconv_open("UTF-16LE", from)) {}
  ~IconvDecoder() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;

  char16_t One(const char* bytes, size_t size) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return 0;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char in[4];
    std::memcpy(in, bytes, size);
    char out[8];
    char* src = in;
    char* dst = out;
    size_t src_left = size, dst_left = sizeof out;
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) ||
        src_left != 0 || dst - out != 2) {
      return 0;
    }
    auto unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                      static_cast<unsigned char>(out[1]) << 8);
    return IsSurrogate(unit) ? 0 : unit;
  }

 private:
  iconv_t cd_;
};

struct GbkTables {
  GbkTables();
  void Set(size_t index, unsigned lead, unsigned trail, char16_t unit) {
    pair[index] = unit;
    encode[unit] = static_cast<uint16_t>(lead << 8 | trail);
  }

  char16_t pair[kPairs] = {};
  char16_t single[0x80] = {};     // bytes 80..FF standing alone
  uint16_t encode[0x10000] = {};  // unit -> lead << 8 | trail, or a single byte; 0: none
};

// iconv's CP936 first, then the user-defined areas. What is still missing
// (255 codes, among them A8BF, A989..A995, D7FA..D7FE, FE50..FEA0) takes
// the character GB18030 gives it when that is free and in the BMP, or else
// the private-use code point GB18030-2000 gave it: U+E766 onwards, counting
// those codes in byte order.
GbkTables::GbkTables() {
  IconvDecoder cp936("CP936");
  for (unsigned b = 0x80; b <= 0xFF; ++b) {
    char byte = static_cast<char>(b);
    char16_t unit = cp936.One(&byte, 1);
    single[b - 0x80] = unit ? unit : u'\uFFFD';
    if (unit) encode[unit] = static_cast<uint16_t>(b);
  }
  std::vector<size_t> missing;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      char16_t unit = cp936.One(bytes, 2);
      if (!unit) unit = UserDefined(lead, trail);
      if (unit) {
        Set(PairIndex(lead, trail), lead, trail, unit);
      } else {
        missing.push_back(PairIndex(lead, trail));
      }
    }
  }
  IconvDecoder gb18030("GB18030");
  for (size_t n = 0; n < missing.size(); ++n) {
    unsigned lead = 0x81 + static_cast<unsigned>(missing[n] / kTrailSpan);
    unsigned trail = 0x40 + static_cast<unsigned>(missing[n] % kTrailSpan);
    const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char16_t unit = gb18030.One(bytes, 2);
    if (!unit || encode[unit] != 0) unit = static_cast<char16_t>(0xE766 + n);
    Set(missing[n], lead, trail, unit);
  }
}

const GbkTables& Tables() {
  static const GbkTables* tables = new GbkTables;
  return *tables;
}

}  // namespace

std::u16string GbkToWide(std::string_view text) {
  const GbkTables& gbk = Tables();
  std::u16string out(text.size(), u'\0');
  const char* data = text.data();
  char16_t* dst = out.data();
  size_t used = 0;
  for (size_t i = 0; i < text.size();) {
    // Eight ASCII bytes at a time while there are any.
    uint64_t eight;
    while (i + 8 <= text.size() &&
           (std::memcpy(&eight, data + i, 8), (eight & 0x8080808080808080ull) == 0)) {
      for (int k = 0; k < 8; ++k) dst[used + k] = static_cast<unsigned char>(data[i + k]);
      used += 8;
      i += 8;
    }
    if (i >= text.size()) break;
    auto c = static_cast<unsigned char>(data[i]);
    if (c < 0x80) {
      dst[used++] = c;
      ++i;
    } else if (IsLead(c) && i + 1 < text.size() &&
               IsTrail(static_cast<unsigned char>(data[i + 1]))) {
      dst[used++] = gbk.pair[PairIndex(c, static_cast<unsigned char>(data[i + 1]))];
      i += 2;
    } else {
      dst[used++] = gbk.single[c - 0x80];
      ++i;
    }
  }
  out.resize(used);
  return out;
}

std::string WideToGbk(std::u16string_view wide) {
  const GbkTables& gbk = Tables();
  std::string out;
  out.reserve(wide.size() * 2);
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    uint16_t code = gbk.encode[c];
    if (code == 0) {
      // A surrogate pair is one character, so it becomes one '?'.
      bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() &&
                  wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
      i += pair;
      out.push_back('?');
    } else if (code < 0x100) {
      out.push_back(static_cast<char>(code));
    } else {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    }
  }
  return out;
}

}  // namespace platform
