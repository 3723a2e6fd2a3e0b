// The signed-in visitor's cookie file, line by line, and the refusal rules
// that need no server: the back-off's bounds and the log line's words.
#include "web/cookie_file.h"

#include <gtest/gtest.h>

#include "runtime/gbk.h"
#include "web/refusal.h"

namespace web {
namespace {

TEST(CookieFile, EachLineIsReadOrSkippedOrCountedBroken) {
  using K = CookieLineKind;
  struct Case {
    std::string line;
    K kind;
    std::string printed;  // the line as the transport gets it, for a cookie
  } cases[] = {
      {".baidu.com\tTRUE\t/\tFALSE\t1900000000\tBDUSS\tabc", K::kCookie,
       ".baidu.com\tTRUE\t/\tFALSE\t1900000000\tBDUSS\tabc"},
      {"#HttpOnly_.Baidu.COM\tTRUE\t/\tTRUE\t0\tSTOKEN\tx=y\r", K::kCookie,
       "#HttpOnly_.baidu.com\tTRUE\t/\tTRUE\t0\tSTOKEN\tx=y"},
      {"tieba.baidu.com\tFALSE\t/p\tFALSE\t0\tTIEBA\t", K::kCookie,
       "tieba.baidu.com\tFALSE\t/p\tFALSE\t0\tTIEBA\t"},
      {"tieba.baidu.com\tFALSE\t/\tFALSE\t0\tEMPTY", K::kCookie,
       "tieba.baidu.com\tFALSE\t/\tFALSE\t0\tEMPTY\t"},
      {".baidu.com\tFALSE\t/\tFALSE\t0\tDOT\tv", K::kCookie,
       ".baidu.com\tTRUE\t/\tFALSE\t0\tDOT\tv"},
      {"# Netscape HTTP Cookie File", K::kSkipped, ""},
      {"", K::kSkipped, ""},
      {" \t\r", K::kSkipped, ""},
      {".baidu.com\tTRUE\t/\tFALSE", K::kBroken, ""},
      {".baidu.com TRUE / FALSE 0 BDUSS abc", K::kBroken, ""},
      {".baidu.com\tyes\t/\tFALSE\t0\tBDUSS\tabc", K::kBroken, ""},
      {".baidu.com\tTRUE\tnoslash\tFALSE\t0\tBDUSS\tabc", K::kBroken, ""},
      {".baidu.com\tTRUE\t/\tFALSE\t-5\tBDUSS\tabc", K::kBroken, ""},
      {".baidu.com\tTRUE\t/\tFALSE\t12x\tBDUSS\tabc", K::kBroken, ""},
      {".baidu.com\tTRUE\t/\tFALSE\t0\t\tabc", K::kBroken, ""},
      {"\tTRUE\t/\tFALSE\t0\tBDUSS\tabc", K::kBroken, ""},
      {".baidu.com\tTRUE\t/\tFALSE\t0\tBDUSS\tabc\textra", K::kBroken, ""},
      {std::string(".baidu.com\tTRUE\t/\tFALSE\t0\tBDUSS\ta\0b", 35), K::kBroken, ""},
  };
  for (const Case& c : cases) {
    CookieEntry entry;
    EXPECT_EQ(ParseCookieLine(c.line, &entry), c.kind) << c.line;
    if (c.kind == K::kCookie) {
      EXPECT_EQ(PrintCookieLine(entry), c.printed);
    }
  }
}

TEST(CookieFile, ACookieGoesToItsHostAndThatHostsSubdomainsOnly) {
  auto entry = [](std::string domain, bool subdomains) {
    CookieEntry e;
    e.domain = std::move(domain);
    e.include_subdomains = subdomains;
    return e;
  };
  const CookieEntry parent = entry("baidu.com", true);
  const CookieEntry host_only = entry("tieba.baidu.com", false);
  const CookieEntry top = entry("com", true);
  EXPECT_TRUE(CookieGoesTo(parent, "tieba.baidu.com"));
  EXPECT_TRUE(CookieGoesTo(parent, "imgsrc.baidu.com"));
  EXPECT_TRUE(CookieGoesTo(parent, "baidu.com"));
  EXPECT_FALSE(CookieGoesTo(parent, "notbaidu.com"));
  EXPECT_TRUE(CookieGoesTo(host_only, "tieba.baidu.com"));
  EXPECT_FALSE(CookieGoesTo(host_only, "x.tieba.baidu.com"));
  EXPECT_FALSE(CookieGoesTo(top, "baidu.com"));
}

TEST(Refusal, BackOffGrowsWithinItsRandomBandAndIsBounded) {
  const BackoffPolicy policy;
  int64_t total_longest = 0;
  for (int retry = 1; retry < policy.tries; ++retry) {
    const int64_t nominal = policy.first_wait_ms << (retry - 1);
    EXPECT_EQ(BackoffWaitMs(policy, retry, 0.0), nominal * 3 / 4);
    EXPECT_EQ(BackoffWaitMs(policy, retry, 1.0), nominal * 5 / 4);
    const int64_t drawn = BackoffWaitMs(policy, retry);
    EXPECT_GE(drawn, nominal * 3 / 4);
    EXPECT_LE(drawn, nominal * 5 / 4);
    total_longest += BackoffWaitMs(policy, retry, 1.0);
  }
  EXPECT_LE(total_longest, 120000) << "a refused request gives up within two minutes";
  EXPECT_EQ(BackoffWaitMs(policy, 20, 1.0), policy.longest_wait_ms);
}

TEST(Refusal, TheLogLineSaysWhatWasRefusedWhyAndWhatMayHelp) {
  EXPECT_EQ(rt::ToUtf8(RefusalLine(rt::FromUtf8("相册列表第1页"), Refusal::kSecurityCheck, 10340)),
            "相册列表第1页被服务器拒绝（安全验证页），10.3秒后重试；"
            "设置登录后导出的Cookie文件或稍后再试可能有帮助\r\n");
  EXPECT_EQ(rt::ToUtf8(RefusalLine(rt::FromUtf8("图片列表页"), Refusal::kTooManyRequests, 0)),
            "图片列表页被服务器拒绝（HTTP 429），仍被拒绝，跳过；"
            "设置登录后导出的Cookie文件或稍后再试可能有帮助\r\n");
}

}  // namespace
}  // namespace web
