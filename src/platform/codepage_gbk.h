// Code page 936 (GBK) through tables of our own rather than iconv's CP936,
// which leaves the user-defined areas and a few assigned codes without a
// character: here every well-formed double-byte pair (lead 81..FE, trail
// 40..7E or 80..FE) is one UTF-16 unit of its own and encodes back to the
// same two bytes. The rules for invalid input are those of codepage.h.
//
// Thread safety: the functions may be called from any thread; the tables are
// built once, on first use, and only read afterwards.
#ifndef TIEPIC_PLATFORM_CODEPAGE_GBK_H_
#define TIEPIC_PLATFORM_CODEPAGE_GBK_H_

#include <string>
#include <string_view>

namespace platform {

// GBK bytes to UTF-16: a pair is one unit; a byte that starts no pair (a
// lead without a trail, 0xFF) is U+FFFD, except 0x80, the euro sign.
std::u16string GbkToWide(std::string_view gbk);

// UTF-16 to GBK bytes: '?' for every unit GBK cannot hold, one '?' for a
// whole surrogate pair.
std::string WideToGbk(std::u16string_view wide);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_CODEPAGE_GBK_H_
