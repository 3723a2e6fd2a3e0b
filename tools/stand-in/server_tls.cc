// The stand-in's TLS mode: the plain server and a TLS server with the given
// certificate, both on ephemeral loopback ports behind one SchemeSwitch on
// the stand-in's own port. Both answer through the same handler and log.
#include <httplib.h>
#include <openssl/pem.h>

#include <memory>

#include "stand-in/scheme_switch.h"
#include "stand-in/server.h"

namespace standin {
namespace {

// The certificate and key of `options` as OpenSSL objects (null on failure).
struct Credentials {
  explicit Credentials(const StandInOptions& options) {
    BIO* cert_bio = BIO_new_mem_buf(options.tls_certificate_pem.data(),
                                    static_cast<int>(options.tls_certificate_pem.size()));
    BIO* key_bio =
        BIO_new_mem_buf(options.tls_key_pem.data(), static_cast<int>(options.tls_key_pem.size()));
    if (cert_bio) cert = PEM_read_bio_X509(cert_bio, nullptr, nullptr, nullptr);
    if (key_bio) key = PEM_read_bio_PrivateKey(key_bio, nullptr, nullptr, nullptr);
    BIO_free(cert_bio);
    BIO_free(key_bio);
  }
  ~Credentials() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
};

}  // namespace

bool StandIn::StartTls(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    Stop();
    port_ = 0;
    return false;
  };
  const Credentials credentials(options_);
  if (!credentials.cert || !credentials.key)
    return fail("the TLS certificate or key is unreadable");
  server_ = std::make_unique<httplib::Server>();
  // The server takes its own references to the certificate and key.
  auto tls = std::make_unique<httplib::SSLServer>(credentials.cert, credentials.key);
  if (!tls->is_valid()) return fail("the TLS certificate does not fit its key");
  tls_server_ = std::move(tls);
  Configure(*server_);
  Configure(*tls_server_);
  const int plain_port = Listen(*server_, 0, &thread_);
  const int tls_port = Listen(*tls_server_, 0, &tls_thread_);
  if (plain_port == 0 || tls_port == 0) return fail("the servers behind the port did not start");
  switch_ = std::make_unique<SchemeSwitch>(plain_port, tls_port);
  port_ = switch_->Start(options_.port, error);
  if (port_ == 0) return fail(error ? *error : "");
  running_ = true;
  return true;
}

}  // namespace standin
