// Header lines on the wire are ASCII only: the default Referer repeats an
// address that may hold GBK bytes (a board's keyword), and callers give
// header values in GBK. A raw recorder keeps the request exactly as sent.
#include <gtest/gtest.h>

#include "loopback_servers.h"
#include "platform/codepage.h"
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

}  // namespace
}  // namespace web
