// The signed-in visitor's cookie file, line by line and whole, and the
// refusal rules that need no server: the back-off's waits and the log line's
// words.
#include "web/cookie_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/http_transport_curl.h"
#include "runtime/gbk.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "web/refusal.h"

namespace web {
namespace {

void ExpectResult(const CookieFileResult& got, const CookieFileResult& expected) {
  EXPECT_EQ(got.status, expected.status);
  EXPECT_EQ(got.loaded, expected.loaded);
  EXPECT_EQ(got.other_hosts, expected.other_hosts);
  EXPECT_EQ(got.expired, expected.expired);
  EXPECT_EQ(got.broken_lines, expected.broken_lines);
  EXPECT_EQ(got.open_to_others, expected.open_to_others);
}

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

// Whole files as the loader reads them: what it hands over and what it
// counts. A session cookie (expiry 0) never expires; one whose expiry is not
// after now has. Only the cookies a request to one of the hosts would carry
// are taken: a parent domain's, the host's own, in any letter case.
TEST(CookieFile, TheLoaderTakesTheHostsLiveCookiesAndCountsTheRest) {
  using Status = CookieFileResult::Status;
  const std::vector<std::string> service = {"tieba.baidu.com", "IMGSRC.baidu.com:8080", ""};
  const struct Case {
    const char* what;
    std::string lines;
    std::vector<std::string> hosts;
    CookieFileResult expected;  // status, loaded, other hosts, expired, broken, open
  } cases[] = {
      {"a session cookie",
       "tieba.baidu.com\tFALSE\t/\tFALSE\t0\tBDUSS\tv\n",
       service,
       {Status::kLoaded, 1, 0, 0, 0, false}},
      {"expiries around now",
       ".baidu.com\tTRUE\t/\tFALSE\t5001\tLATER\tv\n"
       ".baidu.com\tTRUE\t/\tFALSE\t5000\tNOW\tv\n"
       ".baidu.com\tTRUE\t/\tFALSE\t1\tLONG_AGO\tv\n",
       service,
       {Status::kLoaded, 1, 0, 2, 0, false}},
      {"domains",
       ".baidu.com\tTRUE\t/\tFALSE\t0\tPARENT\tv\n"
       "baidu.com\tTRUE\t/\tFALSE\t0\tPARENT_NO_DOT\tv\n"
       "baidu.com\tFALSE\t/\tFALSE\t0\tPARENT_HOST_ONLY\tv\n"
       "#HttpOnly_Tieba.Baidu.COM\tFALSE\t/\tTRUE\t0\tOWN\tv\n"
       "imgsrc.baidu.com\tFALSE\t/\tFALSE\t0\tPICTURES\tv\n"
       "x.tieba.baidu.com\tTRUE\t/\tFALSE\t0\tSUBDOMAIN\tv\n"
       "notbaidu.com\tTRUE\t/\tFALSE\t0\tLOOKALIKE\tv\n"
       ".com\tTRUE\t/\tFALSE\t0\tTOP\tv\n"
       ".example.org\tTRUE\t/\tFALSE\t1\tELSEWHERE_EXPIRED\tv\n",
       service,
       {Status::kLoaded, 4, 5, 0, 0, false}},
      {"a host with a port",
       "127.0.0.1\tFALSE\t/\tFALSE\t0\tS\tv\n",
       {"127.0.0.1:8080"},
       {Status::kLoaded, 1, 0, 0, 0, false}},
      {"no hosts",
       "tieba.baidu.com\tFALSE\t/\tFALSE\t0\tS\tv\n",
       {},
       {Status::kLoaded, 0, 1, 0, 0, false}},
      {"comments, blanks, broken lines and CR LF",
       "# Netscape HTTP Cookie File\r\n\r\n"
       "tieba.baidu.com\tFALSE\t/\tFALSE\t0\tA\tv\r\n"
       "tieba.baidu.com\tFALSE\t/\tFALSE\n"
       "tieba.baidu.com TRUE / FALSE 0 B v\n"
       "tieba.baidu.com\tFALSE\t/\tFALSE\t0\tC\tlast line without an end",
       service,
       {Status::kLoaded, 2, 0, 0, 2, false}},
      {"an empty file", "", service, {Status::kLoaded, 0, 0, 0, 0, false}},
  };
  testing_support::TempDir dir;
  const std::string path = dir / "cookies.txt";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.lines;
    ::chmod(path.c_str(), 0600);
    ExpectResult(LoadCookieFile(path, c.hosts, 5000), c.expected);
  }
  // Readable by others: loaded, with a warning to come.
  for (mode_t mode : {0640, 0604, 0620}) {
    ::chmod(path.c_str(), mode);
    EXPECT_TRUE(LoadCookieFile(path, service, 5000).open_to_others) << std::oct << mode;
  }
  ExpectResult(LoadCookieFile(dir / "missing.txt", service, 5000), {Status::kMissing});
  ExpectResult(LoadCookieFile(dir.path().string(), service, 5000), {Status::kUnreadable});
  // Larger than any cookie file: left unread.
  ASSERT_EQ(::truncate(path.c_str(), (16 << 20) + 1), 0);
  ExpectResult(LoadCookieFile(path, service, 5000), {Status::kUnreadable, 0, 0, 0, 0, true});
  platform::ClearProcessCookies();
  // A file its reader may not open (root may open anything).
  testing_support::RunUnprivileged([&](const std::string& folder) {
    const std::string closed = folder + "/cookies.txt";
    std::ofstream(closed) << "tieba.baidu.com\tFALSE\t/\tFALSE\t0\tS\tv\n";
    ASSERT_EQ(::chmod(closed.c_str(), 0200), 0);
    ExpectResult(LoadCookieFile(closed, service, 5000), {Status::kUnreadable});
  });
}

// The default waits by hand: 10 s, 20 s and 40 s, each between three
// quarters and five quarters of itself, never past a minute, at least 1 ms.
TEST(Refusal, BackOffGrowsWithinItsRandomBandAndIsBounded) {
  const BackoffPolicy policy;
  const struct {
    int retry;
    int64_t shortest, middle, longest;
  } waits[] = {{1, 7500, 10000, 12500},
               {2, 15000, 20000, 25000},
               {3, 30000, 40000, 50000},
               {4, 60000, 60000, 60000},  // 60 s to 100 s, held at the minute
               {20, 60000, 60000, 60000}};
  for (const auto& w : waits) {
    SCOPED_TRACE(w.retry);
    EXPECT_EQ(BackoffWaitMs(policy, w.retry, 0.0), w.shortest);
    EXPECT_EQ(BackoffWaitMs(policy, w.retry, 0.5), w.middle);
    EXPECT_EQ(BackoffWaitMs(policy, w.retry, 1.0), w.longest);
    EXPECT_EQ(BackoffWaitMs(policy, w.retry, 7.0), w.longest);  // a fraction beyond 1
  }
  EXPECT_EQ(BackoffWaitMs(policy, 2, 0.25), 17500);
  EXPECT_EQ(BackoffWaitMs({4, 0, 60000}, 1, 0.0), 1);
  // Drawn waits stay in the band and are not all the same.
  std::set<int64_t> drawn;
  for (int i = 0; i < 50; ++i) {
    const int64_t wait = BackoffWaitMs(policy, 1);
    EXPECT_GE(wait, 7500);
    EXPECT_LE(wait, 12500);
    drawn.insert(wait);
  }
  EXPECT_GT(drawn.size(), 10u);
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
