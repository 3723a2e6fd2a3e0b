// The SHA-256 digest of a block of bytes, for telling whether a saved file
// still holds the picture that was saved under its name.
//
// Thread safety: safe on any thread.
#ifndef TIEPIC_PLATFORM_SHA256_H_
#define TIEPIC_PLATFORM_SHA256_H_

#include <string>
#include <string_view>

namespace platform {

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_SHA256_H_
