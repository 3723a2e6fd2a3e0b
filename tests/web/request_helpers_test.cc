// Address splitting, markers, header lines, cookie merging, the random token
// and the responsive wait.
#include "web/request_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "platform/http_transport_curl.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace web {
namespace {

using rt::operator""_gbk;

TEST(UrlSplitting, TakesAddressesApartAsTheRequestsNeed) {
  struct Case {
    const char* address;
    const char* host;
    int port;
    const char* path;
  } cases[] = {
      {"host/a/b", "host", 80, "/a/b"},
      {"https://Host:81/P?q=1", "host", 81, "/P?q=1"},
      {"http://example.org", "example.org", 80, "/"},
      {"HTTPS://Secure.example.org/x", "secure.example.org", 443, "/x"},
      {"http://h/p", "h", 80, "/p"},                       // "h" is not sought inside "http"
      {"x.org/?u=http://y.org/", "x.org", 80, "/?u=http://y.org/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(UrlHost(c.address), c.host);
    EXPECT_EQ(UrlPort(c.address), c.port);
    EXPECT_EQ(UrlPath(c.address), c.path);
  }
  EXPECT_EQ(UrlHost("https://Host:81/P", /*keep_port=*/true), "host:81");
}

TEST(UrlSplitting, TellsSchemesFromPorts) {
  EXPECT_TRUE(IsHttpAddress("http://a/b"));
  EXPECT_TRUE(IsHttpAddress("HTTPS://a/b"));
  EXPECT_TRUE(IsHttpAddress("host:81/a"));
  EXPECT_TRUE(IsHttpAddress("localhost:8080"));
  EXPECT_TRUE(IsHttpAddress("host/a:b"));
  EXPECT_FALSE(IsHttpAddress("file:///etc/passwd"));
  EXPECT_FALSE(IsHttpAddress("file:/etc/passwd"));
  EXPECT_FALSE(IsHttpAddress("ftp://host/x"));
  EXPECT_FALSE(IsHttpAddress("javascript:alert(1)"));
  EXPECT_FALSE(IsHttpAddress("http://a/b\r\nX: y"));
  EXPECT_FALSE(IsHttpAddress(std::string_view("http://a/\0b", 11)));
}

TEST(TextBetween, FindsTheFirstPairAndHonoursQuoteMarkers) {
  EXPECT_EQ(TextBetween("<a href=\"x\">", "href=#引号"_gbk, "#引号"_gbk), "x");
  EXPECT_EQ(TextBetween("[1][2]", "[", "]"), "1");
  EXPECT_EQ(TextBetween("[1][2]", "[", "]", 3), "2");
  EXPECT_EQ(TextBetween("ABC", "a", "c", {}, true), "B");
  EXPECT_EQ(TextBetween("ABC", "a", "c"), "");
  EXPECT_EQ(TextBetween("[1", "[", "]"), "");
  EXPECT_EQ(TextBetween("名称：相册；"_gbk, "："_gbk, "；"_gbk), "相册"_gbk);
}

TEST(HeaderLines, SplitAtTheFirstColon) {
  EXPECT_EQ(HeaderName(" Referer : http://a/ "), "Referer");
  EXPECT_EQ(HeaderValue(" Referer : http://a/ "), "http://a/");
  EXPECT_EQ(HeaderName("no colon"), "");
  EXPECT_EQ(HeaderValue("no colon"), "");
}

TEST(MergeCookies, NewValuesWinOldOnesFollowDeletedOnesGo) {
  Text old_cookies = "a=1; b=2";
  Text new_cookies = "b=3; c=deleted";
  EXPECT_EQ(MergeCookies(&old_cookies, &new_cookies), "b=3; a=1");
  EXPECT_EQ(old_cookies, "b=3; a=1");
  EXPECT_EQ(new_cookies, "b=3;c=deleted");
}

TEST(MergeCookies, RemovesSpacesAndRepeats) {
  Text old_cookies = "a=1;　a=1"_gbk;  // a full-width space too
  Text new_cookies = "";
  EXPECT_EQ(MergeCookies(&old_cookies, &new_cookies), "a=1");
  Text empty_old, empty_new;
  EXPECT_EQ(MergeCookies(&empty_old, &empty_new), "");
}

TEST(RemoveDuplicateItems, KeepsFirstOccurrencesInOrder) {
  EXPECT_EQ(RemoveDuplicateItems("b; a; b; c; a", "; "), "b; a; c");
  EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
}

// The first, pairwise merge, kept here as the reference for the exact result:
// returned cookies first, then each old one whose name no earlier item bears,
// "=deleted" ones dropped, repeats removed.
Text ReferenceDeduplicate(std::string_view text, std::string_view separator) {
  std::vector<Text> kept;
  for (Text& item : rt::SplitText(text, separator)) {
    if (std::find(kept.begin(), kept.end(), item) == kept.end()) kept.push_back(std::move(item));
  }
  Text out;
  for (const Text& item : kept) out += item + Text(separator);
  if (out.size() >= separator.size()) out.resize(out.size() - separator.size());
  return out;
}

Text ReferenceMerge(const Text& cookies, const Text& new_cookies) {
  auto name = [](std::string_view item) {
    int eq = rt::FindText(item, "=");
    return rt::TrimText(eq > 0 ? item.substr(0, eq - 1) : item);
  };
  std::vector<Text> merged = rt::SplitText(rt::RemoveSpaces(new_cookies), ";");
  for (Text& item : rt::SplitText(rt::RemoveSpaces(cookies), ";")) {
    bool replaced = false;
    for (size_t i = 0; i < merged.size() && !replaced; ++i) replaced = name(merged[i]) == name(item);
    if (!replaced) merged.push_back(std::move(item));
  }
  Text out;
  for (const Text& item : merged) {
    if (item.size() >= 8 && item.ends_with("=deleted")) continue;
    out += item + "; ";
  }
  if (out.size() >= 2) out.resize(out.size() - 2);
  return ReferenceDeduplicate(out, "; ");
}

TEST(MergeCookies, KeepsTheOrderOfThePairwiseMergeOnRandomCookies) {
  std::mt19937 random(11);
  const char* items[] = {"a=1", " a=2", "b=1", "b=deleted", "c", "c=", "=x", "a=1", "d=1=2", ""};
  for (int round = 0; round < 500; ++round) {
    Text old_cookies, new_cookies;
    for (Text* side : {&old_cookies, &new_cookies}) {
      int n = static_cast<int>(random() % 6);
      for (int i = 0; i < n; ++i) *side += Text(i ? ";" : "") + items[random() % 10];
    }
    Text expected = ReferenceMerge(old_cookies, new_cookies);
    SCOPED_TRACE(old_cookies + " | " + new_cookies);
    EXPECT_EQ(MergeCookies(&old_cookies, &new_cookies), expected);
  }
}

TEST(MergeCookies, HandlesTensOfThousandsOfCookies) {
  Text old_cookies, new_cookies;
  for (int i = 0; i < 20000; ++i) {
    old_cookies += "o" + std::to_string(i) + "=1; ";
    new_cookies += "o" + std::to_string(2 * i) + "=2; ";
  }
  Text merged = MergeCookies(&old_cookies, &new_cookies);
  std::vector<Text> items = rt::SplitText(merged, "; ");
  // 20,000 returned cookies, then the 10,000 odd-numbered old ones.
  ASSERT_EQ(items.size(), 30000u);
  EXPECT_EQ(items[0], "o0=2");
  EXPECT_EQ(items[19999], "o39998=2");
  EXPECT_EQ(items[20000], "o1=1");
  EXPECT_EQ(items[29999], "o19999=1");
  Text repeated;
  for (int i = 0; i < 20000; ++i) repeated += std::to_string(i % 7000) + ",";
  EXPECT_EQ(rt::SplitText(RemoveDuplicateItems(repeated, ","), ",").size(), 7000u);
}

TEST(RemoveDuplicateItems, GivesThePairwiseResultOnRandomLists) {
  std::mt19937 random(5);
  const char* items[] = {"a", "b", "", "a b", ";", "c"};
  for (int round = 0; round < 300; ++round) {
    Text list;
    for (int i = 0, n = static_cast<int>(random() % 7); i < n; ++i) {
      list += items[random() % 6];
      list += "; ";
    }
    if (random() % 2 && !list.empty()) list.resize(list.size() - 2);
    SCOPED_TRACE(list);
    EXPECT_EQ(RemoveDuplicateItems(list, "; "), ReferenceDeduplicate(list, "; "));
  }
}

TEST(CookiesFromHeaders, TakesTheValueBeforeTheFirstSemicolon) {
  EXPECT_EQ(CookiesFromHeaders("HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\n"
                               "Set-Cookie: b=2\r\nX: y\r\n\r\n"),
            "a=1; b=2");
  EXPECT_EQ(CookiesFromHeaders("HTTP/1.1 200 OK\r\n\r\n"), "");
}

TEST(TimeoutMilliseconds, ClampsInsteadOfWrapping) {
  EXPECT_EQ(TimeoutMilliseconds(0), 0);
  EXPECT_EQ(TimeoutMilliseconds(15), 15000);
  EXPECT_EQ(TimeoutMilliseconds(2147483), 2147483000);
  EXPECT_EQ(TimeoutMilliseconds(2147484), 2147483647);
  EXPECT_EQ(TimeoutMilliseconds(3000000), 2147483647);
  EXPECT_EQ(TimeoutMilliseconds(2147483647), 2147483647);
}

TEST(CookiesFromHeaders, LeavesOutCookiesHoldingLineBreaksOrNul) {
  EXPECT_EQ(CookiesFromHeaders("HTTP/1.1 200 OK\r\nSet-Cookie: a=1\rX-Evil: 1\r\n"
                               "Set-Cookie: b=2\nX: 1; path=/\r\nSet-Cookie: c=3\r\n"
                               "Set-Cookie: d=4; path=/\rX: 1\r\n\r\n"),
            "c=3; d=4");
  EXPECT_EQ(CookiesFromHeaders(std::string("Set-Cookie: e=5\0x\r\nSet-Cookie: f=6\r\n", 36)), "f=6");
}

TEST(RandomText, IsAFractionOfFifteenDigits) {
  std::set<Text> seen;
  for (int i = 0; i < 200; ++i) {
    Text token = RandomText();
    ASSERT_EQ(token.size(), 17u);
    EXPECT_TRUE(token.starts_with("0."));
    EXPECT_EQ(token.find_first_not_of("0123456789", 2), Text::npos);
    EXPECT_NE(token.back(), '0');
    seen.insert(token);
  }
  EXPECT_EQ(seen.size(), 200u);
}

std::atomic<int> g_hook_calls{0};
void CountingHook(int64_t max_ms) {
  ++g_hook_calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(max_ms, 10)));
}

TEST(WaitResponsive, WaitsTheTimeWhileRunningTheEventHook) {
  SetEventWaitHook(&CountingHook);
  g_hook_calls = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitResponsive(200));
  auto elapsed = std::chrono::steady_clock::now() - start;
  SetEventWaitHook(nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(200));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
  EXPECT_GE(g_hook_calls.load(), 10);
  EXPECT_TRUE(WaitResponsive(0));
  EXPECT_TRUE(WaitResponsive(-5));
}

TEST(WaitResponsive, EndsEarlyWhenTheThreadIsAborted) {
  platform::AbortSignal signal;
  platform::ScopedAbortSignal scoped(&signal);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    signal.Abort();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitResponsive(1, 2));  // one minute
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace web
