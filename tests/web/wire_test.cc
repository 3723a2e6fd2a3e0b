// What goes on the wire, as a raw recorder keeps it: header lines ASCII
// only (the default Referer repeats an address that may hold GBK bytes, a
// board's keyword, and callers give header values in GBK); and, signed in,
// an http address of the service on http's own port is asked on https's.
#include <gtest/gtest.h>

#include "loopback_servers.h"
#include "platform/codepage.h"
#include "platform/http_transport_curl.h"
#include "web/requests.h"

namespace web {
namespace {

using Operation = rt::Bytes (*)(std::string_view, const RequestOptions&);

TEST(WireHeaders, EveryHeaderIsAsciiAndTheRefererIsEncodedAsTheRequestLine) {
  web_test::RawRecorder recorder(web_test::CannedResponse("", "ok"));
  const std::string kw = platform::FromUtf8("纸飞机");  // GBK bytes
  const std::string encoded = "%D6%BD%B7%C9%BB%FA";
  const std::string path = "/photo/bw/picture/guide?kw=";
  const std::string address = recorder.Url(path + kw + "&tid=1");
  const std::string wire = recorder.Url(path + encoded + "&tid=1");
  int n = 0;
  for (Operation op : {&InetRequest, &WinHttpObjectRequest}) {
    for (bool given : {false, true}) {
      SCOPED_TRACE((op == &InetRequest ? "InetRequest" : "WinHttpObjectRequest") +
                   std::string(given ? ", headers given" : ", default Referer"));
      Text headers = given ? "Referer: " + address + "\r\nX-Album: " + kw + "\x01" : "";
      op(address, {.extra_headers = &headers});
      const std::vector<std::string> requests = recorder.Requests();
      ASSERT_EQ(requests.size(), static_cast<size_t>(++n));
      const std::string& request = requests.back();
      const std::string head = request.substr(0, request.find("\r\n\r\n"));
      for (unsigned char c : head) ASSERT_LT(c, 0x80) << head;
      EXPECT_TRUE(head.starts_with("GET " + path + encoded + "&tid=1 HTTP/1.1\r\n")) << head;
      EXPECT_NE(head.find("\r\nReferer: " + wire + "\r\n"), std::string::npos) << head;
      EXPECT_EQ(head.find("\r\nX-Album: " + encoded + "%01") != std::string::npos, given) << head;
    }
  }
}

// The recorder stands as the proxy, so the host's name needs no lookup:
// the tunnel asked for names the port the request goes to.
TEST(WireSignedIn, AnHttpAddressOnPort80IsAskedOnPort443) {
  web_test::RawRecorder proxy(web_test::CannedResponse("", ""));
  const std::string proxy_address = "127.0.0.1:" + std::to_string(proxy.port());
  platform::SetPresetCookies({"service.invalid\tFALSE\t/\tFALSE\t0\tBDUSS\tsecret"},
                             {"service.invalid"});
  for (Operation op : {&InetRequest, &WinHttpObjectRequest}) {
    RequestFailure failure = RequestFailure::kNone;
    EXPECT_TRUE(
        op("http://service.invalid/f?kw=x", {.failure = &failure, .proxy = proxy_address}).empty());
    EXPECT_EQ(failure, RequestFailure::kSecureChannel) << "the recorder speaks no TLS";
  }
  platform::ClearProcessCookies();
  const std::vector<std::string> requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& request : requests) {
    EXPECT_TRUE(request.starts_with("CONNECT service.invalid:443 HTTP/1.1\r\n")) << request;
    EXPECT_EQ(request.find("secret"), std::string::npos) << request;
  }
}

}  // namespace
}  // namespace web
