// InetRequest and WinHttpObjectRequest against servers on 127.0.0.1: what
// goes over the wire, what comes back, and how failures end.
#include "web/requests.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "frame/bound_functions.h"
#include "loopback_servers.h"
#include "platform/http_transport_curl.h"
#include "platform/wininet_curl.h"

namespace web {
namespace {

using web_test::CannedResponse;
using web_test::HttpServer;
using web_test::RawRecorder;

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Head(const std::string& request) { return request.substr(0, request.find("\r\n\r\n") + 4); }

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(InetRequest, SendsTheDefaultHeadersInOrderAfterTheAgent) {
  RawRecorder recorder(CannedResponse("", "ok"));
  std::string url = recorder.Url("/a/b?x=1");
  EXPECT_EQ(AsString(InetRequest(url)), "ok");
  ASSERT_EQ(recorder.Requests().size(), 1u);
  EXPECT_EQ(Head(recorder.Requests()[0]),
            "GET /a/b?x=1 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(recorder.port()) +
                "\r\nUser-Agent: " + kAgent + "\r\nAccept: */*\r\nReferer: " + url +
                "\r\nAccept-Language: zh-cn\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
}

TEST(InetRequest, ReachesTheWinInetFunctionsThroughTheirDeclarations) {
  RawRecorder recorder(CannedResponse("", "ok"));
  RequestOptions post;
  post.method = 1;
  post.form_data = "a=1";
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/"))), "ok");
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/"), post)), "ok");
  // The requests loaded the library by binding their declarations (one load
  // per declaration bound); later calls use the bound addresses.
  int loads = frame::LibraryLoadCount("wininet.dll");
  EXPECT_GE(loads, 8);
  for (frame::DeclaredFunction f :
       {frame::kInternetOpenA, frame::kInternetConnectA, frame::kHttpOpenRequestA, frame::kHttpSendRequestA,
        frame::kHttpSendRequestA2, frame::kInternetReadFile, frame::kHttpQueryInfoA,
        frame::kInternetCloseHandle}) {
    EXPECT_NE(frame::BindPlatformFunction(f).address, nullptr) << f;
  }
  EXPECT_EQ(frame::LibraryLoadCount("wininet.dll"), loads);
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/"))), "ok");
  EXPECT_EQ(frame::LibraryLoadCount("wininet.dll"), loads);
}

TEST(WinHttpObjectRequest, SendsTheDefaultHeadersInOrderWithTheAgentAmongThem) {
  RawRecorder recorder(CannedResponse("", "ok"));
  std::string url = recorder.Url("/p");
  EXPECT_EQ(AsString(WinHttpObjectRequest(url)), "ok");
  ASSERT_EQ(recorder.Requests().size(), 1u);
  EXPECT_EQ(Head(recorder.Requests()[0]),
            "GET /p HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(recorder.port()) +
                "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\nUser-Agent: " +
                kAgent + "\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n");
}

TEST(RequestHeaders, AGivenAcceptLineIsKeptAndTheOthersAppended) {
  RawRecorder recorder(CannedResponse("", "ok"));
  std::string url = recorder.Url("/");
  Text inet_headers = "Accept: text/html";
  InetRequest(url, {.extra_headers = &inet_headers});
  EXPECT_EQ(inet_headers, "Accept: text/html\r\nReferer: " + url +
                              "\r\nAccept-Language: zh-cn\r\n"
                              "Content-Type: application/x-www-form-urlencoded");
  Text winhttp_headers = "Accept: text/html";
  WinHttpObjectRequest(url, {.extra_headers = &winhttp_headers});
  EXPECT_EQ(winhttp_headers, "Accept: text/html\r\nReferer: " + url +
                                 "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kAgent +
                                 "\r\nContent-Type: application/x-www-form-urlencoded");
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& request : requests) {
    EXPECT_NE(request.find("Accept: text/html\r\n"), std::string::npos);
    EXPECT_EQ(request.find("Accept: */*"), std::string::npos);
  }
}

TEST(RequestHeaders, ALowerCaseAgentLineIsTheAgentOnlyForInetRequest) {
  RawRecorder recorder(CannedResponse("", "ok"));
  Text inet_headers = "user-agent: Probe/1";
  InetRequest(recorder.Url("/"), {.extra_headers = &inet_headers});
  Text winhttp_headers = "user-agent: Probe/1";
  WinHttpObjectRequest(recorder.Url("/"), {.extra_headers = &winhttp_headers});
  EXPECT_EQ(winhttp_headers.find("User-Agent: " + kAgent), winhttp_headers.find("\r\nUser-Agent") + 2);
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("user-agent: Probe/1\r\n"), std::string::npos);
  EXPECT_EQ(requests[0].find(kAgent), std::string::npos);
  EXPECT_NE(requests[1].find(kAgent), std::string::npos);
}

// When the search without regard to case finds an agent line the exact
// search does not, the agent is taken from the first header's value; it
// never runs past a line break, and an empty one gives the usual agent.
TEST(RequestHeaders, AnAgentNeverCarriesALineBreak) {
  RawRecorder recorder(CannedResponse("", "ok"));
  Text prefixed = "X-User-Agent: probe\r\nAccept: text/html";
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/1"), {.extra_headers = &prefixed})), "ok");
  Text empty_first = "X-User-Agent:";
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/2"), {.extra_headers = &empty_first})), "ok");
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("\r\nUser-Agent: probe\r\n"), std::string::npos);
  EXPECT_NE(requests[0].find("\r\nX-User-Agent: probe\r\n"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nUser-Agent: " + kAgent + "\r\n"), std::string::npos);
}

TEST(RequestMethod, AnUnknownMethodIsSentAsGetAndPostCarriesItsBody) {
  RawRecorder recorder(CannedResponse("", "ok"));
  InetRequest(recorder.Url("/m"), {.method = 5});
  WinHttpObjectRequest(recorder.Url("/m"), {.method = 5});
  InetRequest(recorder.Url("/post"), {.method = 1, .form_data = "a=1&b=2"});
  WinHttpObjectRequest(recorder.Url("/post"), {.method = 1, .byte_data = {'x', 0, 'y'}});
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_TRUE(requests[0].starts_with("GET /m HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[1].starts_with("GET /m HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[2].starts_with("POST /post HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[2].ends_with("\r\n\r\na=1&b=2"));
  EXPECT_TRUE(requests[3].ends_with(std::string("\r\n\r\nx\0y", 7)));
}

TEST(RequestMethod, HeadAsksForTheHeadersOnly) {
  RawRecorder recorder(CannedResponse("", "ok"));
  Text raw;
  EXPECT_TRUE(InetRequest(recorder.Url("/h"), {.method = 2, .returned_headers = &raw}).empty());
  ASSERT_EQ(recorder.Requests().size(), 1u);
  EXPECT_TRUE(recorder.Requests()[0].starts_with("HEAD /h HTTP/1.1\r\n"));
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 200 OK\r\n"));
}

// The body cap applies to bodies being read: an announced length over it does
// not cost a HEAD request or a redirect its headers, but a body announced
// over it is given up at once.
TEST(RequestBodyCap, ALargeAnnouncedLengthOnlyMattersForABodyBeingRead) {
  const std::string huge = "Content-Length: 300000000\r\n";
  RawRecorder head("HTTP/1.1 200 OK\r\n" + huge + "Connection: close\r\n\r\n");
  Text raw;
  EXPECT_TRUE(InetRequest(head.Url("/h"), {.method = 2, .returned_headers = &raw}).empty());
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 200 OK\r\n" + huge)) << raw;

  RawRecorder target(CannedResponse("", "ok"));
  RawRecorder redirect("HTTP/1.1 302 Found\r\nLocation: " + target.Url("/ok") + "\r\n" + huge +
                       "Connection: close\r\n\r\nmoved");
  EXPECT_EQ(AsString(InetRequest(redirect.Url("/r"))), "ok");
  EXPECT_EQ(AsString(WinHttpObjectRequest(redirect.Url("/r"))), "ok");
  raw.clear();
  // The body ends long before its announced length, so only the headers count.
  EXPECT_TRUE(
      InetRequest(redirect.Url("/r"), {.returned_headers = &raw, .no_redirect = true}).empty());
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 302 Found\r\n")) << raw;
  int status = 0;
  WinHttpObjectRequest(redirect.Url("/r"), {.status = &status, .no_redirect = true});
  EXPECT_EQ(status, 302);

  RawRecorder body("HTTP/1.1 200 OK\r\n" + huge + "Connection: close\r\n\r\nabc");
  raw = "untouched";
  EXPECT_TRUE(InetRequest(body.Url("/b"), {.returned_headers = &raw}).empty());
  status = -1;
  EXPECT_TRUE(WinHttpObjectRequest(body.Url("/b"), {.status = &status}).empty());
  EXPECT_EQ(status, 0);
}

// A body that ends before its announced length never comes back, whatever
// the status. Only a redirect that is not followed still counts: its headers
// and status are wanted, so it succeeds, with an empty body.
TEST(CutBodies, AShortBodyNeverComesBack) {
  const std::string cut = "Content-Length: 100\r\nConnection: close\r\n\r\nshort";
  for (std::string status_line : {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 302 Found\r\n",
                                  "HTTP/1.1 300 Multiple Choices\r\n"}) {
    RawRecorder server(status_line + cut);
    for (bool no_redirect : {false, true}) {
      EXPECT_TRUE(InetRequest(server.Url("/"), {.no_redirect = no_redirect}).empty())
          << status_line << no_redirect;
      int status = -1;
      EXPECT_TRUE(
          WinHttpObjectRequest(server.Url("/"), {.status = &status, .no_redirect = no_redirect})
              .empty())
          << status_line << no_redirect;
      EXPECT_EQ(status, 0) << status_line << no_redirect;
    }
  }
  RawRecorder redirect("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n" + cut);
  Text raw;
  EXPECT_TRUE(
      InetRequest(redirect.Url("/r"), {.returned_headers = &raw, .no_redirect = true}).empty());
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n")) << raw;
  int status = 0;
  EXPECT_TRUE(
      WinHttpObjectRequest(redirect.Url("/r"), {.status = &status, .no_redirect = true}).empty());
  EXPECT_EQ(status, 302);
}

TEST(RequestAddress, SpacesAndGbkBytesAreEncodedLineBreaksRefused) {
  RawRecorder recorder(CannedResponse("", "ok"));
  std::string base = recorder.Url("");
  EXPECT_EQ(AsString(InetRequest(base + "/a b/\xD6\xD0?x=1")), "ok");
  EXPECT_EQ(AsString(WinHttpObjectRequest(base + "/a b/\xD6\xD0")), "ok");
  // A line break would end the request line (and the Referer header).
  EXPECT_TRUE(InetRequest(base + "/x\r\nX-Injected: 1").empty());
  EXPECT_TRUE(WinHttpObjectRequest(base + "/x\r\nX-Injected: 1").empty());
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].starts_with("GET /a%20b/%D6%D0?x=1 HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[1].starts_with("GET /a%20b/%D6%D0 HTTP/1.1\r\n"));
}

TEST(RequestProxy, BothOperationsGoThroughAGivenProxy) {
  RawRecorder proxy(CannedResponse("", "via proxy"));
  std::string at = "127.0.0.1:" + std::to_string(proxy.port());
  EXPECT_EQ(AsString(InetRequest("http://far.example/x?y=1", {.proxy = at})), "via proxy");
  EXPECT_EQ(AsString(WinHttpObjectRequest("http://far.example/z", {.proxy = at})), "via proxy");
  auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].starts_with("GET http://far.example/x?y=1 HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[1].starts_with("GET http://far.example/z HTTP/1.1\r\n"));
}

const std::string kCookieHeaders = "set-cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n";

TEST(RequestCookies, WinHttpMergesReturnedCookiesIntoTheCookiesOption) {
  RawRecorder recorder(CannedResponse(kCookieHeaders, "ok"));
  Text cookies, returned;
  WinHttpObjectRequest(recorder.Url("/"), {.cookies = &cookies, .returned_cookies = &returned});
  EXPECT_EQ(returned, "a=1;b=2");
  EXPECT_EQ(cookies, "a=1; b=2");
}

TEST(RequestCookies, InetRequestWithoutCookiesOptionUsesTheProcessJar) {
  platform::ClearProcessCookies();
  RawRecorder recorder(CannedResponse(kCookieHeaders, "ok"));
  Text returned, raw;
  InetRequest(recorder.Url("/"), {.returned_cookies = &returned, .returned_headers = &raw});
  EXPECT_EQ(returned, "a=1; b=2");
  EXPECT_NE(raw.find("Set-Cookie: a=1; path=/\r\n"), std::string::npos);
  InetRequest(recorder.Url("/"));
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
  EXPECT_NE(requests[1].find("Cookie: "), std::string::npos);
  EXPECT_NE(requests[1].find("a=1"), std::string::npos);
  platform::ClearProcessCookies();
}

TEST(RequestCookies, AGivenCookiesOptionIsSentAloneAndMerged) {
  platform::ClearProcessCookies();
  RawRecorder recorder(CannedResponse(kCookieHeaders, "ok"));
  InetRequest(recorder.Url("/"));  // fills the process jar
  Text cookies = "x=9; a=0";
  InetRequest(recorder.Url("/"), {.cookies = &cookies});
  EXPECT_EQ(cookies, "a=1; b=2; x=9");
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[1].find("\r\nCookie: x=9; a=0\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("b=2"), std::string::npos);
  platform::ClearProcessCookies();
}

TEST(RequestCookies, ACookieHoldingALineBreakIsNotKept) {
  platform::ClearProcessCookies();
  RawRecorder recorder(CannedResponse("Set-Cookie: a=1\rX-Evil: 1\r\nSet-Cookie: b=2\r\n", "ok"));
  Text cookies = "x=9", returned;
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/1"), {.cookies = &cookies,
                                                      .returned_cookies = &returned})),
            "ok");
  EXPECT_EQ(returned, "b=2");
  EXPECT_EQ(cookies, "b=2; x=9");
  Text winhttp_cookies = "x=9";
  EXPECT_EQ(AsString(WinHttpObjectRequest(recorder.Url("/2"), {.cookies = &winhttp_cookies})), "ok");
  EXPECT_EQ(winhttp_cookies, "b=2; x=9");
  // Later requests given those cookies still go out, and so does one using
  // the process jar the answer went into.
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/3"), {.cookies = &cookies})), "ok");
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/4"))), "ok");
  auto requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_NE(requests[2].find("\r\nCookie: b=2; x=9\r\n"), std::string::npos);
  for (const std::string& request : requests) EXPECT_EQ(request.find("X-Evil"), std::string::npos);
  platform::ClearProcessCookies();
}

TEST(RequestHeaders, RawHeadersBeyondTheBufferComeBackAsSpaces) {
  RawRecorder recorder(CannedResponse("X-Big: " + std::string(6000, 'v') + "\r\n" + kCookieHeaders, "ok"));
  Text raw, returned = "untouched";
  EXPECT_EQ(AsString(InetRequest(recorder.Url("/"), {.returned_cookies = &returned,
                                                     .returned_headers = &raw})),
            "ok");
  EXPECT_EQ(raw, std::string(5000, ' '));
  EXPECT_EQ(returned, "");
}

// One server for the suite: its teardown waits for idle kept-alive
// connections, which should happen once, not per test.
class LoopbackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { shared_ = new HttpServer; }
  static void TearDownTestSuite() {
    delete shared_;
    shared_ = nullptr;
  }
  static HttpServer* shared_;
  HttpServer& server_ = *shared_;
};
HttpServer* LoopbackTest::shared_ = nullptr;

TEST_F(LoopbackTest, RedirectsAreFollowedUnlessSwitchedOff) {
  EXPECT_EQ(AsString(InetRequest(server_.Url("/redirect"))), "hello");
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/redirect"))), "hello");
  int status = 0;
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/redirect"),
                                          {.status = &status, .no_redirect = true})),
            "moved");
  EXPECT_EQ(status, 302);
  Text raw;
  EXPECT_EQ(AsString(InetRequest(server_.Url("/redirect"),
                                 {.returned_headers = &raw, .no_redirect = true})),
            "moved");
  EXPECT_TRUE(raw.starts_with("HTTP/1.1 302"));
}

TEST_F(LoopbackTest, AnEndlessRedirectGivesAnEmptyBody) {
  EXPECT_TRUE(InetRequest(server_.Url("/loop")).empty());
  EXPECT_TRUE(WinHttpObjectRequest(server_.Url("/loop")).empty());
}

TEST_F(LoopbackTest, StatusIsReadAndTheBodyKept) {
  int status = 0;
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/status/404"), {.status = &status})),
            "status body");
  EXPECT_EQ(status, 404);
}

TEST_F(LoopbackTest, AOneMegabyteBinaryBodyArrivesByteForByte) {
  EXPECT_EQ(AsString(InetRequest(server_.Url("/binary"))), HttpServer::BinaryBody());
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/binary"))), HttpServer::BinaryBody());
}

TEST_F(LoopbackTest, ABodyOverTheCapIsAbandoned) {
  size_t cap = platform::ResponseBodyCap();
  platform::SetResponseBodyCap(64 * 1024);
  EXPECT_TRUE(InetRequest(server_.Url("/binary")).empty());
  EXPECT_TRUE(WinHttpObjectRequest(server_.Url("/binary")).empty());
  EXPECT_EQ(InetRequest(server_.Url("/size/65536")).size(), 65536u);
  platform::SetResponseBodyCap(cap);
}

TEST_F(LoopbackTest, SequentialRequestsReuseTheirConnection) {
  std::string first = AsString(InetRequest(server_.Url("/peer")));
  std::string second = AsString(InetRequest(server_.Url("/peer")));
  std::string third = AsString(WinHttpObjectRequest(server_.Url("/peer")));
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, third);
}

TEST_F(LoopbackTest, AThreadThatFollowsAnotherReusesItsConnection) {
  std::string first, second;
  std::thread([&] { first = AsString(InetRequest(server_.Url("/peer"))); }).join();
  std::thread([&] { second = AsString(WinHttpObjectRequest(server_.Url("/peer"))); }).join();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first, second);
}

TEST_F(LoopbackTest, ConcurrentRequestsEachGetTheirBody) {
  std::vector<std::thread> threads;
  std::atomic<int> whole{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        if (AsString(InetRequest(server_.Url("/binary"))) == HttpServer::BinaryBody()) ++whole;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(whole.load(), 20);
}

TEST_F(LoopbackTest, AHugeTimeoutStillFetches) {
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/text"), {.timeout = 3000000})), "hello");
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/text"), {.timeout = INT32_MAX})), "hello");
}

TEST_F(LoopbackTest, AShortTimeoutEndsARequestToAStalledServer) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WinHttpObjectRequest(server_.Url("/stall"), {.timeout = 1}).empty());
  double winhttp = SecondsSince(start);
  EXPECT_GE(winhttp, 0.9);
  EXPECT_LT(winhttp, 3.0);
  platform::SetInetTimeouts(1000, 500);
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(InetRequest(server_.Url("/stall")).empty());
  EXPECT_LT(SecondsSince(start), 3.0);
  platform::SetInetTimeouts(30000, 60000);
}

// Each byte restarts the stall timer, so only the byte-rate rule can end a
// transfer that brings one byte now and then; without it these take 6 s.
TEST_F(LoopbackTest, ATricklingAnswerEndsAtAboutItsTimeout) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WinHttpObjectRequest(server_.Url("/trickle"), {.timeout = 1}).empty());
  double winhttp = SecondsSince(start);
  EXPECT_GE(winhttp, 0.9);
  EXPECT_LT(winhttp, 4.0);
  platform::SetInetTimeouts(1000, 1000);
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(InetRequest(server_.Url("/trickle")).empty());
  EXPECT_LT(SecondsSince(start), 4.0);
  platform::SetInetTimeouts(30000, 60000);
}

TEST_F(LoopbackTest, AnAbortFromAnotherThreadEndsASlowTransferPromptly) {
  platform::AbortSignal signal;
  Bytes body = {1};
  double seconds = 0;
  std::thread worker([&] {
    platform::ScopedAbortSignal scoped(&signal);
    auto start = std::chrono::steady_clock::now();
    body = InetRequest(server_.Url("/slow"));
    seconds = SecondsSince(start);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  signal.Abort();
  worker.join();
  EXPECT_TRUE(body.empty());
  EXPECT_LT(seconds, 1.0);
  // Later transfers on an aborted thread end at once.
  platform::ScopedAbortSignal scoped(&signal);
  EXPECT_TRUE(WinHttpObjectRequest(server_.Url("/text")).empty());
}

TEST_F(LoopbackTest, OnlyHttpAndHttpsAddressesAreFetched) {
  EXPECT_TRUE(InetRequest("file:///etc/passwd").empty());
  EXPECT_TRUE(WinHttpObjectRequest("file:///etc/passwd").empty());
  std::string ftp = "ftp://127.0.0.1:" + std::to_string(server_.port()) + "/text";
  EXPECT_TRUE(InetRequest(ftp).empty());
  EXPECT_TRUE(WinHttpObjectRequest(ftp).empty());
  // An address without scheme is http.
  std::string bare = "127.0.0.1:" + std::to_string(server_.port()) + "/text";
  EXPECT_EQ(AsString(InetRequest(bare)), "hello");
}

TEST_F(LoopbackTest, AGivenRequestObjectIsReusedAndLeftToItsOwner) {
  automation::ObjectSlot object;
  ASSERT_TRUE(automation::CreateObject(&object, "WinHttp.WinHttpRequest.5.1"));
  EXPECT_EQ(AsString(WinHttpObjectRequest(server_.Url("/text"), {.request_object = &object})),
            "hello");
  EXPECT_FALSE(automation::IsObjectEmpty(object));
  EXPECT_EQ(automation::GetPropertyNumber(object, "Status"), 200);
}

TEST(InetHandles, ClosedOrUnknownHandlesFailTheCall) {
  platform::HInternet internet =
      platform::InternetOpenA("a", platform::kInternetOpenTypeDirect, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr);
  EXPECT_TRUE(platform::InternetCloseHandle(internet));
  EXPECT_FALSE(platform::InternetCloseHandle(internet));
  EXPECT_EQ(platform::InetLastError(), platform::kErrorInvalidHandle);
  uint32_t read = 7;
  char buffer[4];
  EXPECT_FALSE(platform::InternetReadFile(internet, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(platform::InternetConnectA(internet, "h", 80, nullptr, nullptr, 3, 0, 0), nullptr);
}

TEST(InetHandles, AStaleHandleNeverNamesALaterOne) {
  using platform::HInternet;
  auto open = [] {
    return platform::InternetOpenA("a", platform::kInternetOpenTypeDirect, nullptr, nullptr, 0);
  };
  // A plain allocator hands a freed handle's memory straight back, so a
  // handle made from an address would repeat here. (AddressSanitizer holds
  // freed memory back, so under it this can only show the good case.)
  for (int round = 0; round < 50; ++round) {
    HInternet first = open();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(platform::InternetCloseHandle(first));
    HInternet second = open();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_FALSE(platform::InternetCloseHandle(first));
    HInternet connection = platform::InternetConnectA(second, "h", 80, nullptr, nullptr, 3, 0, 0);
    EXPECT_NE(connection, nullptr);
    EXPECT_TRUE(platform::InternetCloseHandle(connection));
    EXPECT_TRUE(platform::InternetCloseHandle(second));
  }
}

}  // namespace
}  // namespace web
