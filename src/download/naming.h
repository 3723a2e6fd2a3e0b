// Cleaning of album names and picture descriptions before they become part
// of a folder or file name: the characters file names may not hold, a set of
// Chinese full-width punctuation marks, dots and (for folders) spaces go.
// Both work on GBK text character by character: a double-byte character is
// never split, and "\" or "|" never match the trail byte of one. Then the
// pieces of the paths a download writes: names that cannot leave the save
// folder and fit the file system's 255-byte names.
//
// Thread safety: pure functions.
#ifndef TIEPIC_DOWNLOAD_NAMING_H_
#define TIEPIC_DOWNLOAD_NAMING_H_

#include <cstdint>
#include <string_view>

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

// The longest name most Linux file systems hold, in bytes.
inline constexpr int kNameLimit = 255;

// Cuts `gbk` at a whole character so that its UTF-8 form holds at most
// `max_utf8` bytes; a text that fits stays whole.
rt::Text FitUtf8(std::string_view gbk, int max_utf8);

// `text` made fit to be one folder or file name: the marks SafeAlbumName
// removes and control characters go, and the text is cut at a whole
// character so that, with `reserved` more bytes of UTF-8 beside it, the name
// holds at most 255 bytes of UTF-8. A clean numeric id stays unchanged.
rt::Text PathPiece(std::string_view text, int reserved = 0);

// An album id as the piece of its folder's and its record's names: the id
// itself when it is clean (a number, as the service gives them) and at most
// 100 bytes; otherwise what PathPiece leaves of it, cut to 80 bytes, followed
// by "." and 16 hex digits of a hash of the whole id -- or "id." and the hash
// when nothing is left (".."). A clean id never holds a dot, so no album's
// piece is another's: each id keeps a folder and a record of its own, the
// same on every run.
rt::Text AlbumIdPiece(std::string_view id);

// The name part of a picture's file from its description: cleaned, at most
// 240 bytes, and short enough for "(" + number + ")" + it + extension to fit
// in 255 bytes of UTF-8.
rt::Text DescriptionName(rt::Text description, int64_t number, std::string_view extension);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_NAMING_H_
