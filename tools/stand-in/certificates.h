// Certificates made at run time for the stand-in's https: a certificate
// authority of its own and server certificates it signs, as PEM text. A
// test trusts the authority (through the program's ca_file setting) or
// another one, and gives the server a certificate for its names or for
// others, so that each way a certificate check can end is at hand without a
// file kept in the tree.
//
// Thread safety: pure functions.
#ifndef TIEPIC_TOOLS_STAND_IN_CERTIFICATES_H_
#define TIEPIC_TOOLS_STAND_IN_CERTIFICATES_H_

#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct Pem {
  std::string certificate;  // "-----BEGIN CERTIFICATE-----" ...
  std::string key;          // the private key, unencrypted
  bool empty() const { return certificate.empty() || key.empty(); }
};

// A certificate authority called `name`, valid from an hour ago for a day;
// empty when OpenSSL fails.
Pem MakeAuthority(std::string_view name);

// A server certificate for `names` (IP addresses or DNS names; the first is
// also its common name) signed by `authority`, valid from an hour ago for a
// day; empty when OpenSSL fails or `authority` cannot be read.
Pem IssueServerCertificate(const Pem& authority, const std::vector<std::string>& names);

// The names a stand-in on loopback answers to: 127.0.0.1 and localhost.
std::vector<std::string> LoopbackNames();

// A server certificate for LoopbackNames() from a new authority, whose own
// certificate is written to `authority_file` (PEM) for a client to trust;
// empty when it cannot be made or written.
Pem LoopbackCertificate(const std::string& authority_file);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_CERTIFICATES_H_
