// Code-page conversion over glibc's iconv, one descriptor per thread and
// direction, converting in one pass and replacing invalid input in place.
// GBK goes through the tables of codepage_gbk.cc instead.
#include "platform/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "platform/codepage_gbk.h"

namespace platform {
namespace {

const char* IconvName(CodePage cp) {
  switch (cp) {
    case CodePage::kGbk:
      return "CP936";
    case CodePage::kGb18030:
      return "GB18030";
    case CodePage::kUtf8:
      return "UTF-8";
  }
  return "UTF-8";
}

constexpr const char* kUtf16 = "UTF-16LE";

// How many bytes of input one character takes when iconv refuses it: a
// well-formed character the target cannot hold is skipped whole (one
// replacement for it), a malformed byte alone.
size_t UnitLength(const char* from, const unsigned char* p, size_t left) {
  auto in = [&](size_t i, unsigned lo, unsigned hi) { return i < left && p[i] >= lo && p[i] <= hi; };
  if (from == kUtf16) {
    // A surrogate pair is one character (GBK cannot hold any of them).
    bool pair = left >= 4 && (p[1] & 0xFC) == 0xD8 && (p[3] & 0xFC) == 0xDC;
    return pair ? 4 : std::min<size_t>(2, left);
  }
  if (std::string_view(from) == "UTF-8") {
    size_t n = p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : 1;
    if (p[0] > 0xF4) n = 1;
    for (size_t i = 1; i < n; ++i) {
      if (!in(i, 0x80, 0xBF)) return 1;
    }
    return n;
  }
  // GBK and GB18030: lead 81..FE with a trail 40..7E or 80..FE; GB18030 also
  // has four-byte characters, lead and digit pairs.
  if (p[0] < 0x81 || p[0] > 0xFE) return 1;
  if (in(1, 0x40, 0x7E) || in(1, 0x80, 0xFE)) return 2;
  if (std::string_view(from) == "GB18030" && in(1, 0x30, 0x39) && in(2, 0x81, 0xFE) &&
      in(3, 0x30, 0x39)) {
    return 4;
  }
  return 1;
}

// An iconv descriptor for one direction, opened on first use by this thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (!ok()) {
      // Without its code pages the program cannot read or write a single text
      // correctly; carrying on would silently turn every text empty.
      std::fprintf(stderr, "tiepic: iconv cannot convert %s to %s\n", from, to);
      std::abort();
    }
  }
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`, calling `on_invalid(out)` for every input character it
  // cannot take and then skipping UnitLength(from, ...) bytes of input.
  template <typename OnInvalid>
  std::string Run(std::string_view in, const char* from, OnInvalid on_invalid) {
    std::string out;
    if (!ok() || in.empty()) return out;
    out.resize(in.size() * 2 + 16);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    size_t used = 0;
    while (src_left > 0) {
      char* dst = out.data() + used;
      size_t dst_left = out.size() - used;
      size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
      used = out.size() - dst_left;
      if (r != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {  // EILSEQ, or EINVAL for a sequence cut by the end of input
        out.resize(used);
        on_invalid(out);
        used = out.size();
        out.resize(used + src_left * 2 + 16);
        size_t n = UnitLength(from, reinterpret_cast<const unsigned char*>(src), src_left);
        src += n;
        src_left -= n;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& ConverterFor(const char* to, const char* from) {
  thread_local std::map<std::pair<const char*, const char*>, Converter> cache;
  auto key = std::make_pair(to, from);
  auto it = cache.find(key);
  if (it == cache.end()) {
    it = cache.emplace(std::piecewise_construct, std::forward_as_tuple(key),
                       std::forward_as_tuple(to, from))
             .first;
  }
  return it->second;
}

}  // namespace

std::u16string MultiByteToWide(CodePage cp, std::string_view bytes) {
  if (cp == CodePage::kGbk) return GbkToWide(bytes);
  const char* from = IconvName(cp);
  std::string raw = ConverterFor(kUtf16, from).Run(bytes, from, [](std::string& out) {
    out.append("\xFD\xFF", 2);  // U+FFFD, little-endian
  });
  std::u16string wide(raw.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                    static_cast<unsigned char>(raw[2 * i + 1]) << 8);
  }
  return wide;
}

std::string WideToMultiByte(CodePage cp, std::u16string_view wide) {
  if (cp == CodePage::kGbk) return WideToGbk(wide);
  std::string raw(wide.size() * 2, '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    raw[2 * i] = static_cast<char>(wide[i] & 0xFF);
    raw[2 * i + 1] = static_cast<char>(wide[i] >> 8);
  }
  // UTF-8 and GB18030 hold every scalar value: only a lone surrogate
  // becomes '?'.
  return ConverterFor(IconvName(cp), kUtf16).Run(raw, kUtf16, [](std::string& out) {
    out.push_back('?');
  });
}

std::string Convert(CodePage from, CodePage to, std::string_view bytes) {
  // GBK has no iconv descriptor of ours; going through UTF-16 gives the same
  // replacements (U+FFFD for invalid input, written as the target writes it).
  if (from == CodePage::kGbk || to == CodePage::kGbk) {
    return WideToMultiByte(to, MultiByteToWide(from, bytes));
  }
  // U+FFFD as the target writes it.
  std::string_view replacement =
      to == CodePage::kUtf8 ? "\xEF\xBF\xBD" : "\x84\x31\xA4\x37";
  const char* from_name = IconvName(from);
  return ConverterFor(IconvName(to), from_name)
      .Run(bytes, from_name, [replacement](std::string& out) { out.append(replacement); });
}

std::string ToUtf8(std::string_view gbk) {
  return Convert(CodePage::kGbk, CodePage::kUtf8, gbk);
}

std::string FromUtf8(std::string_view utf8) {
  return Convert(CodePage::kUtf8, CodePage::kGbk, utf8);
}

}  // namespace platform
