// The request operations phase by phase: name lookups that take their time,
// a server that thinks, a server that never reads. This binary runs with
// slow_resolver_shim.c preloaded: "<ms>-<name>.slow.invalid" resolves to
// 127.0.0.1 after <ms> milliseconds. A stop or a timeout must not wait for
// such a lookup, and each phase counts against its own limit only. Every
// test uses names of its own, as looked-up names are cached.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "automation/automation.h"
#include "loopback_servers.h"
#include "platform/http_transport_curl.h"
#include "platform/wininet_curl.h"
#include "web/requests.h"

#if defined(__SANITIZE_ADDRESS__)
// The shim is preloaded ahead of the sanitizer's run time.
extern "C" const char* __asan_default_options() {
  return "verify_asan_link_order=0:detect_leaks=1";
}
#endif

namespace web {
namespace {

using web_test::HttpServer;

using Operation = Bytes (*)(std::string_view, const RequestOptions&);

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A port on 127.0.0.1 that takes connections but never reads from them, so
// a large request body stops going out once the socket buffers are full.
class DeafListener {
 public:
  DeafListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(fd_, 4);
  }
  ~DeafListener() { close(fd_); }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class RequestPhasesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new HttpServer; }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(dlsym(RTLD_DEFAULT, "tiepic_slow_resolver_shim_loaded"), nullptr)
        << "run with LD_PRELOAD naming the slow resolver shim";
  }
  // The address of `path` on the server, under a host name whose lookup
  // takes `ms` milliseconds.
  static std::string SlowUrl(int ms, const std::string& name, const std::string& path) {
    return "http://" + std::to_string(ms) + "-" + name +
           ".slow.invalid:" + std::to_string(server_->port()) + path;
  }
  static HttpServer* server_;
};
HttpServer* RequestPhasesTest::server_ = nullptr;

TEST_F(RequestPhasesTest, ASlowNameIsLookedUpInItsTimeAndFetched) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(AsString(InetRequest(SlowUrl(600, "probe", "/text"))), "hello");
  EXPECT_GE(SecondsSince(start), 0.55);
}

// The lookup would take 8 s; a stop 0.3 s into it ends either operation at
// once, and the thread's later transfers end before they start.
TEST_F(RequestPhasesTest, AnAbortDuringTheLookupEndsTheRequestPromptly) {
  const std::pair<const char*, Operation> operations[] = {{"inet", &InetRequest},
                                                          {"winhttp", &WinHttpObjectRequest}};
  for (const auto& [name, operation] : operations) {
    platform::AbortSignal signal;
    Bytes body = {1};
    double seconds = 0;
    std::thread worker([&, operation = operation, name = name] {
      platform::ScopedAbortSignal scoped(&signal);
      auto start = std::chrono::steady_clock::now();
      body = operation(SlowUrl(8000, std::string("abort-") + name, "/text"), {});
      seconds = SecondsSince(start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    signal.Abort();
    worker.join();
    EXPECT_TRUE(body.empty()) << name;
    EXPECT_LT(seconds, 2.0) << name;
  }
}

TEST_F(RequestPhasesTest, ATimeoutDuringTheLookupIsNotExceeded) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WinHttpObjectRequest(SlowUrl(8000, "timeout-winhttp", "/text"), {.timeout = 1})
                  .empty());
  double winhttp = SecondsSince(start);
  EXPECT_GE(winhttp, 0.9);
  EXPECT_LT(winhttp, 2.5);
  platform::SetInetTimeouts(1000, 1000);
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(InetRequest(SlowUrl(8000, "timeout-inet", "/text")).empty());
  double inet = SecondsSince(start);
  EXPECT_GE(inet, 0.9);
  EXPECT_LT(inet, 2.5);
  platform::SetInetTimeouts(30000, 60000);
}

// SetTimeouts(resolve, connect, send, receive): each limit covers its own
// phase, so a 2 s lookup followed by a server thinking for 2 s fits limits of
// 3 s, a lookup over the resolve limit fails however long the others are,
// and a lookup over the receive limit does not fail it.
TEST_F(RequestPhasesTest, EachPhaseOfAWinHttpRequestHasItsOwnLimit) {
  EXPECT_EQ(AsString(WinHttpObjectRequest(SlowUrl(2000, "phases", "/wait/2000"), {.timeout = 3})),
            "late");
  struct Case {
    const char* name;
    int resolve, connect, send, receive;
    bool fetched;
  };
  const Case cases[] = {
      {"resolve-limit", 1000, 10000, 10000, 10000, false},
      {"receive-limit", 10000, 1000, 1000, 1000, true},
  };
  for (const Case& c : cases) {
    automation::ObjectSlot object;
    ASSERT_TRUE(automation::CreateObject(&object, "WinHttp.WinHttpRequest.5.1"));
    automation::CallMethod(object, "SetTimeouts", {c.resolve, c.connect, c.send, c.receive});
    auto start = std::chrono::steady_clock::now();
    Bytes body = WinHttpObjectRequest(SlowUrl(2000, c.name, "/text"),
                                      {.timeout = -1, .request_object = &object});
    double seconds = SecondsSince(start);
    EXPECT_EQ(AsString(body), c.fetched ? "hello" : "") << c.name;
    EXPECT_LT(seconds, c.fetched ? 4.0 : 1.8) << c.name;
    automation::ReleaseObject(&object);
  }
}

// The send limit counts the time a request body makes no progress, however
// long the receive limit is.
TEST_F(RequestPhasesTest, ARequestBodyThatStopsGoingOutEndsAtTheSendLimit) {
  DeafListener deaf;
  automation::ObjectSlot object;
  ASSERT_TRUE(automation::CreateObject(&object, "WinHttp.WinHttpRequest.5.1"));
  automation::CallMethod(object, "SetTimeouts", {20000, 20000, 1000, 20000});
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WinHttpObjectRequest(deaf.Url("/upload"),
                                   {.method = 1,
                                    .byte_data = Bytes(8 << 20, 'b'),
                                    .timeout = -1,
                                    .request_object = &object})
                  .empty());
  EXPECT_LT(SecondsSince(start), 6.0);
  automation::ReleaseObject(&object);
}

}  // namespace
}  // namespace web
