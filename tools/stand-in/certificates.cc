// Making the stand-in's certificates with OpenSSL: P-256 keys, SHA-256
// signatures, the extensions a checking client wants of an authority (basic
// constraints, key usage) and of a server (its names as subject alternative
// names, server authentication).
#include "stand-in/certificates.h"

#include <arpa/inet.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>

namespace standin {
namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

constexpr long kHour = 3600;
constexpr long kDay = 24 * kHour;

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!extension) return false;
  const bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `key` named `common_name`, valid from an hour ago for a
// day, with a random serial number; its issuer is set by the caller.
CertPtr NewCertificate(EVP_PKEY* key, const std::string& common_name) {
  CertPtr cert(X509_new(), X509_free);
  unsigned char serial[16];
  if (!cert || RAND_bytes(serial, sizeof serial) != 1) return CertPtr(nullptr, X509_free);
  serial[0] &= 0x7F;  // a positive number
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  const bool ok = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())) &&
                  X509_set_version(cert.get(), 2) == 1 &&
                  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kHour) &&
                  X509_gmtime_adj(X509_getm_notAfter(cert.get()), kDay) &&
                  X509_set_pubkey(cert.get(), key) == 1 &&
                  X509_NAME_add_entry_by_txt(
                      X509_get_subject_name(cert.get()), "CN", MBSTRING_UTF8,
                      reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1, 0) == 1;
  BN_free(number);
  return ok ? std::move(cert) : CertPtr(nullptr, X509_free);
}

Pem ToPem(X509* cert, EVP_PKEY* key) {
  BioPtr cert_bio(BIO_new(BIO_s_mem()), BIO_free);
  BioPtr key_bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!cert_bio || !key_bio || PEM_write_bio_X509(cert_bio.get(), cert) != 1 ||
      PEM_write_bio_PrivateKey(key_bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return {};
  }
  char* data = nullptr;
  Pem pem;
  long size = BIO_get_mem_data(cert_bio.get(), &data);
  pem.certificate.assign(data, size);
  size = BIO_get_mem_data(key_bio.get(), &data);
  pem.key.assign(data, size);
  return pem;
}

std::string AlternativeNames(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    unsigned char address[16];
    const bool ip = inet_pton(AF_INET, name.c_str(), address) == 1 ||
                    inet_pton(AF_INET6, name.c_str(), address) == 1;
    list += (list.empty() ? "" : ",") + std::string(ip ? "IP:" : "DNS:") + name;
  }
  return list;
}

}  // namespace

Pem MakeAuthority(std::string_view name) {
  KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!key) return {};
  CertPtr cert = NewCertificate(key.get(), std::string(name));
  if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) != 1 ||
      !AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !AddExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
      !AddExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash") ||
      X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
    return {};
  }
  return ToPem(cert.get(), key.get());
}

Pem IssueServerCertificate(const Pem& authority, const std::vector<std::string>& names) {
  if (names.empty()) return {};
  BioPtr cert_bio(
      BIO_new_mem_buf(authority.certificate.data(), static_cast<int>(authority.certificate.size())),
      BIO_free);
  BioPtr key_bio(BIO_new_mem_buf(authority.key.data(), static_cast<int>(authority.key.size())),
                 BIO_free);
  CertPtr issuer(cert_bio ? PEM_read_bio_X509(cert_bio.get(), nullptr, nullptr, nullptr) : nullptr,
                 X509_free);
  KeyPtr issuer_key(
      key_bio ? PEM_read_bio_PrivateKey(key_bio.get(), nullptr, nullptr, nullptr) : nullptr,
      EVP_PKEY_free);
  KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!issuer || !issuer_key || !key) return {};
  CertPtr cert = NewCertificate(key.get(), names.front());
  const std::string alternative = AlternativeNames(names);
  if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer.get())) != 1 ||
      !AddExtension(cert.get(), issuer.get(), NID_basic_constraints, "critical,CA:FALSE") ||
      !AddExtension(cert.get(), issuer.get(), NID_key_usage, "critical,digitalSignature") ||
      !AddExtension(cert.get(), issuer.get(), NID_ext_key_usage, "serverAuth") ||
      !AddExtension(cert.get(), issuer.get(), NID_authority_key_identifier, "keyid:always") ||
      !AddExtension(cert.get(), issuer.get(), NID_subject_alt_name, alternative.c_str()) ||
      X509_sign(cert.get(), issuer_key.get(), EVP_sha256()) == 0) {
    return {};
  }
  return ToPem(cert.get(), key.get());
}

std::vector<std::string> LoopbackNames() { return {"127.0.0.1", "localhost"}; }

Pem LoopbackCertificate(const std::string& authority_file) {
  const Pem authority = MakeAuthority("tiepic stand-in authority");
  if (authority.empty()) return {};
  std::ofstream out(authority_file, std::ios::binary | std::ios::trunc);
  out << authority.certificate;
  out.close();
  if (!out) return {};
  return IssueServerCertificate(authority, LoopbackNames());
}

}  // namespace standin
