// Refusal recognition on answers that are no refusal (a picture whose
// bytes hold the marker text) and on one that is (a redirect, followed, to a
// verification address whose page does not carry the marker).
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "web/refusal.h"
#include "web/requests.h"

namespace web {
namespace {

// A JPEG whose comment segment holds the security-check page's title, as a
// screenshot or a picture described by its uploader may.
std::string JpegWithComment(std::string_view comment) {
  std::string jpeg = "\xFF\xD8\xFF\xFE";
  const size_t length = comment.size() + 2;
  jpeg += static_cast<char>(length >> 8);
  jpeg += static_cast<char>(length & 0xFF);
  jpeg += comment;
  jpeg += "\xFF\xD9";
  return jpeg;
}

TEST(RefusalRecognition, APictureWhoseBytesHoldTheMarkerIsNoRefusal) {
  const std::string jpeg = JpegWithComment("截图：百度安全验证");
  AnswerFacts answer{.status = 200,
                     .raw_headers = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n",
                     .body = jpeg};
  EXPECT_EQ(RecognizeRefusal(answer), Refusal::kNone);

  // Through the retry as the picture fetch uses it: the picture comes back
  // at once, not after four tries and an empty answer.
  int tries = 0;
  RefusalRetry retry({.tries = 4, .first_wait_ms = 1}, [](const rt::Text&) {},
                     [](int64_t) {});
  bool refused = false;
  const rt::Bytes body = retry.Fetch(
      "图片",
      [&](const RequestOptions& options) {
        ++tries;
        *options.status = 200;
        return rt::Bytes(jpeg.begin(), jpeg.end());
      },
      &refused);
  EXPECT_FALSE(refused);
  EXPECT_EQ(tries, 1);
  EXPECT_EQ(body.size(), jpeg.size());
}

TEST(RefusalRecognition, ARedirectFollowedToAVerificationAddressIsARefusal) {
  httplib::Server server;
  server.Get("/p/1", [](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", "/static/captcha/tuxing.html?ak=x");
  });
  server.Get("/static/x.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html><head><title>a page</title></head></html>", "text/html");
  });
  server.Get("/static/captcha/tuxing.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html><head><title>verify</title></head><body>slide</body></html>",
                    "text/html");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  // Through either request operation, and a page that answers is no refusal.
  using Operation = rt::Bytes (*)(std::string_view, const RequestOptions&);
  for (const Operation operation : {&InetRequest, &WinHttpObjectRequest}) {
    for (const bool verified : {true, false}) {
      int tries = 0;
      RefusalRetry retry({.tries = 2, .first_wait_ms = 1}, [](const rt::Text&) {},
                         [](int64_t) {});
      bool refused = false;
      const rt::Bytes body = retry.Fetch(
          "帖子页面",
          [&](const RequestOptions& options) {
            ++tries;
            return operation(base + (verified ? "/p/1" : "/static/x.html"), options);
          },
          &refused);
      EXPECT_EQ(refused, verified) << std::string(body.begin(), body.end());
      EXPECT_EQ(tries, verified ? 2 : 1);
    }
  }
  server.stop();
  thread.join();
}

TEST(RefusalRecognition, ATryAfterAZeroWaitIsNotLoggedAsGivenUp) {
  // refusal_wait_ms=0 in the settings file gives a first wait of 0 ms.
  std::vector<rt::Text> lines;
  RefusalRetry retry({.tries = 2, .first_wait_ms = 0},
                     [&](const rt::Text& line) { lines.push_back(line); }, [](int64_t) {});
  int tries = 0;
  bool refused = false;
  retry.Fetch(
      "x",
      [&](const RequestOptions& options) {
        *options.status = ++tries == 1 ? 429 : 200;
        return rt::Bytes{'o', 'k'};
      },
      &refused);
  EXPECT_FALSE(refused);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find(RefusalLine("x", Refusal::kTooManyRequests, 0)), rt::Text::npos)
      << "the refusal was asked again, yet its line says it was given up";
}

}  // namespace
}  // namespace web
