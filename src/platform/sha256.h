// Digests of a block of bytes: SHA-256, for telling whether a saved file
// still holds the picture that was saved under its name, and MD5, which the
// mobile client's interfaces sign their requests with.
//
// Thread safety: safe on any thread.
#ifndef TIEPIC_PLATFORM_SHA256_H_
#define TIEPIC_PLATFORM_SHA256_H_

#include <string>
#include <string_view>

namespace platform {

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

// The MD5 digest of `bytes` as 32 lower-case hexadecimal digits: the sign
// the mobile client's interfaces ask for (no protection of anything here).
std::string Md5Hex(std::string_view bytes);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_SHA256_H_
