// The small text routines album retrieval is built from: digits out of a
// text, the text after a marker's last occurrence, a UTF-8 page as GBK, and the random letters that name an untitled album.
//
// Thread safety: pure functions, except that RandomInRange reads the clock.
#ifndef TIEPIC_DISCOVERY_TEXT_HELPERS_H_
#define TIEPIC_DISCOVERY_TEXT_HELPERS_H_

#include <cstdint>
#include <string_view>

#include "runtime/value.h"

namespace discovery {

// Every run of the digits 0-9 in `text`, joined in order; empty when there
// is none. Goes through a regular-expression object with the pattern "[0-9]".
rt::Text DigitsOnly(std::string_view text);

// The text after the last occurrence of `marker`; empty when it does not
// occur (or is empty).
rt::Text TextAfterLast(std::string_view text, std::string_view marker);

// A body received as UTF-8, as GBK text; an empty body gives empty text.
rt::Text Utf8ToGbk(const rt::Bytes& body);

// 0 when `high` is below `low`; otherwise low + ((T * 23 + 7) mod 2^32) mod
// (high - low + 1) in unsigned 32-bit arithmetic, T the low 32 bits of a
// fast-moving clock read at the call.
uint32_t RandomInRange(uint32_t low, uint32_t high);

// `count` letters "a" to "z", each drawn with RandomInRange.
rt::Text RandomLetters(int count);

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_TEXT_HELPERS_H_
