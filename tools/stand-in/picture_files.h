// Minimal valid JPEG, PNG and GIF files of an exact size, each carrying its
// picture's id in a comment and filler that differs from picture to picture,
// so a test can compare every saved byte with what was served. The image is
// one grey pixel; the size comes from comment/ancillary data that every
// decoder skips.
//
// JPEG (big-endian lengths include themselves)
//   OFFSET  SIZE  MEANING
//   0       2     FF D8 start of image
//   2       18    FF E0 APP0 "JFIF" 1.1, no density
//   20      4+n   FF FE comment "tiepic-stand-in picture <id>" + filler
//   ...     4+n   further FF FE comments of filler (at most 65533 bytes each)
//   ...     69    FF DB quantisation table 0, all ones
//   ...     13    FF C0 baseline frame, 1x1, one component
//   ...     40    FF C4 DC and AC tables 0, one code each ("0")
//   ...     10    FF DA scan of that component
//   ...     1     3F entropy data: DC difference 0, end of block, padding
//   ...     2     FF D9 end of image
//
// PNG (chunk = length 4, type 4, data, CRC-32 4)
//   0       8     signature 89 50 4E 47 0D 0A 1A 0A
//   8       25    IHDR 1x1, 8-bit grey
//   33      12+n  tEXt "Comment" NUL "tiepic-stand-in picture <id>" [spaces]
//   ...     12+n  tiEp private ancillary chunk of filler (omitted when it
//                 would not fit; the comment then takes the spare bytes)
//   ...     23    IDAT zlib stored block of the row: filter 0, grey 0x80
//   ...     12    IEND
//
// GIF
//   0       13    "GIF89a", 1x1 screen, 2-colour global table follows
//   13      6     global colour table black, white
//   19      3+n   21 FE comment extension: sub-blocks of at most 255 bytes
//                 carrying the comment text then filler, ended by 00
//   ...     10    2C image descriptor 1x1
//   ...     5     LZW data 02 02 44 01 00 (code size 2; clear, 0, end)
//   ...     1     3B trailer
//
// Thread safety: every function may be called from any thread.
#ifndef TIEPIC_TOOLS_STAND_IN_PICTURE_FILES_H_
#define TIEPIC_TOOLS_STAND_IN_PICTURE_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "stand-in/data_set.h"

namespace standin {

// The comment text every file carries: "tiepic-stand-in picture " + the id
// with bytes outside printable ASCII as \xHH.
std::string PictureComment(std::string_view id);

// The smallest file EncodePicture can write for this format and id.
uint32_t MinimumPictureSize(PictureFormat format, std::string_view id);

// The size EncodePicture writes when asked for `size`.
inline uint32_t PictureFileSize(PictureFormat format, std::string_view id,
                                uint32_t size) {
  uint32_t minimum = MinimumPictureSize(format, id);
  return size < minimum ? minimum : size;
}

// The file for a picture: same inputs, same bytes.
std::string EncodePicture(PictureFormat format, std::string_view id, uint64_t seed,
                          uint32_t size);

// The format a file's first bytes announce, or 0 when none of the three.
int SniffPictureFormat(std::string_view body);

// A baseline JPEG of `width` x `height` mid-grey pixels (one component,
// every block's coefficients zero), laid out as the 1x1 files above with
// `comment` and filler in one comment segment so the file is exactly `size`
// bytes; when `size` is too small the file is as small as the comment allows.
// REQUIRES: width and height in 1..65535, comment under 65,000 bytes.
std::string EncodeGreyJpeg(int width, int height, std::string_view comment, size_t size);

// The width and height a JPEG's frame header (SOF0..SOF2), a PNG's IHDR or a
// GIF's screen descriptor gives. Returns true iff the file has one.
bool PictureDimensions(std::string_view body, int* width, int* height);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_PICTURE_FILES_H_
