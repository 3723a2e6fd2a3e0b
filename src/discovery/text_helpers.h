// The small text routines album retrieval is built from: digits out of a
// text, the text after a marker's last occurrence, a UTF-8 page as GBK, and the
// letters that name an untitled album.
//
// Thread safety: pure functions.
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

// The two letters "a" to "z" that follow "未知名称_" in the name of an album
// without a title, the same for an album id at every listing (its folder
// and its record then stay the same from run to run): with h the 32-bit
// FNV-1a hash of the id's bytes (offset basis 2166136261, prime 16777619),
// the letters are 'a' + h mod 26 and 'a' + (h / 26) mod 26.
rt::Text AlbumLetters(std::string_view album_id);

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_TEXT_HELPERS_H_
