// Cleaning of album names and picture descriptions before they become part
// of a folder or file name: the characters file names may not hold, a set of
// Chinese full-width punctuation marks, dots and (for folders) spaces go.
// Both work on GBK text character by character: a double-byte character is
// never split, and "\" or "|" never match the trail byte of one.
//
// Thread safety: pure functions.
#ifndef TIEPIC_DOWNLOAD_NAMING_H_
#define TIEPIC_DOWNLOAD_NAMING_H_

#include "runtime/value.h"

namespace download {

// The longest description kept in a file name, in bytes.
inline constexpr int kDescriptionLimit = 240;

// Removes : " \ / ? * < > | ： 、 ？ 。 （ ） · ！ ， . and every ASCII space,
// one mark after the other. No length limit; the result may be empty.
// `name` receives the result too.
rt::Text SafeAlbumName(rt::Text& name);

// Removes the double quote, the escaped line breaks backslash + "n" and
// backslash + "r" (before the lone backslash, so no stray letter is left),
// the marks SafeAlbumName removes except the space, and CR LF, LF and CR;
// then keeps at most `max_length` bytes, ending at the last whole character,
// and trims ASCII and full-width spaces at both ends. `description` receives
// the result too.
rt::Text SafeDescription(rt::Text& description, int max_length);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_NAMING_H_
