// Certificate checks over TLS on loopback: a server with a self-signed
// certificate made in the test. The WinHttp request tolerates the
// certificate errors its option 4 names; InetRequest does not.
#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <thread>

#include "automation/automation.h"
#include "web/requests.h"

namespace web {
namespace {

// A certificate for 127.0.0.1 signed by its own key, valid for a day.
struct SelfSigned {
  SelfSigned() {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
  }
  ~SelfSigned() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
};

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<httplib::SSLServer>(certificate_.cert, certificate_.key);
    server_->Get("/text", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("secret", "text/plain");
    });
    server_->set_keep_alive_timeout(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    server_->stop();
    thread_.join();
  }
  std::string Url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/text"; }

  SelfSigned certificate_;
  std::unique_ptr<httplib::SSLServer> server_;
  std::thread thread_;
  int port_ = 0;
};

TEST_F(TlsTest, WinHttpToleratesAnUnknownAuthorityInetRequestDoesNot) {
  EXPECT_EQ(WinHttpObjectRequest(Url()), (Bytes{'s', 'e', 'c', 'r', 'e', 't'}));
  EXPECT_TRUE(InetRequest(Url()).empty());
}

TEST_F(TlsTest, WithoutTheIgnoreFlagsTheWinHttpObjectRefusesTheCertificate) {
  automation::ObjectSlot request;
  ASSERT_TRUE(automation::CreateObject(&request, "WinHttp.WinHttpRequest.5.1"));
  automation::CallMethod(request, "Open", {"GET", Url(), false});
  automation::CallMethod(request, "Send");
  EXPECT_EQ(automation::AutomationStatus(), automation::kMemberException);
  EXPECT_TRUE(automation::VariantToBytes(automation::GetPropertyVariant(request, "ResponseBody")).empty());
}

}  // namespace
}  // namespace web
