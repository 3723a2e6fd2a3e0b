// SHA-256 over OpenSSL's digest functions (libcrypto, which the HTTP
// transport's TLS already brings along).
#include <openssl/evp.h>

#include "platform/sha256.h"

namespace platform {

namespace {

std::string DigestHex(std::string_view bytes, const EVP_MD* md) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, md, nullptr) != 1) {
    return {};  // only an allocation failure inside the library ends here
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) { return DigestHex(bytes, EVP_sha256()); }

std::string Md5Hex(std::string_view bytes) { return DigestHex(bytes, EVP_md5()); }

}  // namespace platform
