// Signed-in requests on the wire. Stand-ins in TLS mode (http and https on
// one port) record what reached them: with a cookie file, every request
// that carries the sign-in went over https with a certificate that passed
// the checks, through both request operations and whatever their flags ask;
// without one, addresses and flags are taken as given. Also: no cookie
// follows a redirect to another host, and a certificate failure is logged.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "platform/codepage.h"
#include "platform/http_transport_curl.h"
#include "stand-in/certificates.h"
#include "stand_in_test_support.h"
#include "support/temp_dir.h"
#include "web/cookie_file.h"
#include "web/refusal.h"
#include "web/requests.h"

namespace standin {
namespace {

using web::RequestFailure;

enum class Cert { kTrusted, kUntrusted, kOtherName };

// What one request left in the stand-in's log.
enum class Wire { kNothing, kHttp, kHttps, kHttpsWithCookie };

const char* WireName(Wire wire) {
  switch (wire) {
    case Wire::kNothing: return "nothing";
    case Wire::kHttp: return "http";
    case Wire::kHttps: return "https";
    case Wire::kHttpsWithCookie: return "https+cookie";
  }
  return "?";
}

constexpr char kCookie[] = "BDUSS=signed-in";

// Returns true iff the request had a Cookie line; *value gets all of them.
bool HasCookie(const LogEntry& entry, std::string* value = nullptr) {
  bool found = false;
  for (const auto& [name, v] : entry.headers) {
    if (name != "Cookie") continue;
    if (value) *value += (found ? "; " : "") + v;
    found = true;
  }
  return found;
}

class SignedIn : public ::testing::Test {
 protected:
  SignedIn() {
    const Pem authority = MakeAuthority("tiepic test authority");
    const Pem stranger = MakeAuthority("an authority nobody trusts");
    const Pem certificates[] = {IssueServerCertificate(authority, LoopbackNames()),
                                IssueServerCertificate(stranger, LoopbackNames()),
                                IssueServerCertificate(authority, {"other.invalid"})};
    for (const Pem& pem : certificates) {
      EXPECT_FALSE(pem.empty());
      StandInOptions options;
      options.tls_certificate_pem = pem.certificate;
      options.tls_key_pem = pem.key;
      services_.push_back(
          std::make_unique<StandIn>(stand_in_test::Generated("tiny"), std::move(options)));
      std::string error;
      EXPECT_TRUE(services_.back()->Start(&error)) << error;
    }
    ca_file_ = (dir_.path() / "ca.pem").string();
    std::ofstream(ca_file_, std::ios::binary) << authority.certificate;
    EXPECT_TRUE(web::SetCertificateAuthorities(ca_file_));
    cookie_file_ = (dir_.path() / "cookies.txt").string();
    std::ofstream(cookie_file_, std::ios::binary)
        << "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tBDUSS\tsigned-in\n";
    platform::ClearProcessCookies();
  }
  ~SignedIn() override {
    platform::ClearProcessCookies();
    web::SetCertificateAuthorities("");
  }

  StandIn& Service(Cert cert) { return *services_[static_cast<int>(cert)]; }
  void SignIn(const StandIn& service) {
    const web::CookieFileResult loaded =
        web::LoadCookieFile(cookie_file_, {service.hosts().web, service.hosts().picture}, 2000);
    ASSERT_EQ(loaded.loaded, 1);
  }
  static std::string ListPath() { return "/photo/g?kw=x&alt=jview&pn=1&rn=30&cat_id=all&_=0.1"; }

  testing_support::TempDir dir_;
  std::vector<std::unique_ptr<StandIn>> services_;
  std::string ca_file_;
  std::string cookie_file_;
};

using Operation = rt::Bytes (*)(std::string_view, const web::RequestOptions&);
constexpr Operation kOperations[] = {&web::InetRequest, &web::WinHttpObjectRequest};
const char* OperationName(Operation op) {
  return op == &web::InetRequest ? "InetRequest" : "WinHttpObjectRequest";
}

TEST_F(SignedIn, TheWireShowsHttpsAndACheckedCertificateWheneverTheCookieGoes) {
  struct Row {
    bool cookie_file;
    bool https;
    Cert cert;
    Wire inet;     // InetRequest: no certificate error ignored
    Wire winhttp;  // WinHttpObjectRequest: option 4 = 0x3300 ignores them
  };
  using enum Cert;
  using enum Wire;
  const Row rows[] = {
      // Without a cookie file, as the addresses and flags say.
      {false, false, kTrusted, kHttp, kHttp},
      {false, false, kUntrusted, kHttp, kHttp},
      {false, false, kOtherName, kHttp, kHttp},
      {false, true, kTrusted, kHttps, kHttps},
      {false, true, kUntrusted, kNothing, kHttps},
      {false, true, kOtherName, kNothing, kHttps},
      // With one: http asked as https, every certificate checked.
      {true, false, kTrusted, kHttpsWithCookie, kHttpsWithCookie},
      {true, false, kUntrusted, kNothing, kNothing},
      {true, false, kOtherName, kNothing, kNothing},
      {true, true, kTrusted, kHttpsWithCookie, kHttpsWithCookie},
      {true, true, kUntrusted, kNothing, kNothing},
      {true, true, kOtherName, kNothing, kNothing},
  };
  for (const Row& row : rows) {
    StandIn& service = Service(row.cert);
    platform::ClearProcessCookies();
    if (row.cookie_file) SignIn(service);
    const std::string address = (row.https ? "https" : "http") + std::string("://127.0.0.1:") +
                                std::to_string(service.port()) + ListPath();
    for (Operation op : kOperations) {
      const Wire expected = op == &web::InetRequest ? row.inet : row.winhttp;
      SCOPED_TRACE(std::string(OperationName(op)) + " " + address + " cert " +
                   std::to_string(static_cast<int>(row.cert)) + " expects " + WireName(expected));
      service.log().Clear();
      RequestFailure failure = RequestFailure::kOther;
      const rt::Bytes body = op(address, {.failure = &failure});
      const std::vector<LogEntry> entries = service.log().Entries();
      if (expected == kNothing) {
        EXPECT_TRUE(entries.empty());
        EXPECT_TRUE(body.empty());
        EXPECT_EQ(failure, RequestFailure::kCertificate);
        continue;
      }
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(failure, RequestFailure::kNone);
      EXPECT_FALSE(body.empty());
      EXPECT_EQ(entries[0].scheme, expected == kHttp ? "http" : "https");
      std::string cookie;
      EXPECT_EQ(HasCookie(entries[0], &cookie), expected == kHttpsWithCookie);
      if (expected == kHttpsWithCookie) EXPECT_EQ(cookie, kCookie);
    }
  }
}

// A redirect to another host of the same service (localhost, the same
// stand-in) keeps to https, and neither the cookie file's cookie nor a
// Cookie the caller gives goes along; an http address of a host the sign-in
// is not for stays http and carries no cookie.
TEST_F(SignedIn, NoCookieFollowsARedirectToAnotherHostNorGoesOutOverHttp) {
  StandIn& service = Service(Cert::kTrusted);
  SignIn(service);
  const std::string port = std::to_string(service.port());
  std::string error;
  ASSERT_GE(service.AddFault("album-list:moved=localhost:" + port, &error), 0) << error;
  for (Operation op : kOperations) {
    SCOPED_TRACE(OperationName(op));
    for (bool given_cookie : {false, true}) {
      service.log().Clear();
      rt::Text cookies = "given=1";
      int status = 0;
      rt::Text final_address;
      const rt::Bytes body =
          op(service.Url(ListPath()), {.cookies = given_cookie ? &cookies : nullptr,
                                       .status = &status,
                                       .final_address = &final_address});
      EXPECT_FALSE(body.empty());
      EXPECT_EQ(final_address, "https://localhost:" + port + ListPath());
      const std::vector<LogEntry> entries = service.log().Entries();
      ASSERT_EQ(entries.size(), 2u);
      std::string first_cookie;
      EXPECT_TRUE(HasCookie(entries[0], &first_cookie));
      EXPECT_NE(first_cookie.find(given_cookie ? "given=1" : kCookie), std::string::npos)
          << first_cookie;
      EXPECT_EQ(entries[1].scheme, "https");
      EXPECT_FALSE(HasCookie(entries[1])) << "the cookie went on to localhost";
    }
  }
  service.faults().Clear();
  service.log().Clear();
  for (Operation op : kOperations) op("http://localhost:" + port + ListPath(), {});
  const std::vector<LogEntry> entries = service.log().Entries();
  ASSERT_EQ(entries.size(), 2u);
  for (const LogEntry& entry : entries) {
    EXPECT_EQ(entry.scheme, "http");
    EXPECT_FALSE(HasCookie(entry));
  }
}

// A certificate failure reaches the operation log through the refusal
// retry, which every caller's requests pass through.
TEST_F(SignedIn, ACertificateFailureIsSaidInTheLog) {
  StandIn& service = Service(Cert::kUntrusted);
  SignIn(service);
  std::vector<rt::Text> lines;
  web::RefusalRetry retry(
      {}, [&](const rt::Text& line) { lines.push_back(line); }, [](int64_t) {});
  const rt::Text what = platform::FromUtf8("相册列表第1页");
  const rt::Bytes body = retry.Fetch(what, [&](const auto& options) {
    return web::WinHttpObjectRequest(service.Url(ListPath()), options);
  });
  EXPECT_TRUE(body.empty());
  ASSERT_EQ(lines.size(), 1u);
  const std::string line = platform::ToUtf8(lines[0]);
  EXPECT_TRUE(line.starts_with("证书校验失败：相册列表第1页未获取")) << line;
  EXPECT_TRUE(service.log().Entries().empty());
}

}  // namespace
}  // namespace standin
