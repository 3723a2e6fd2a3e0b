// The regex object over GBK subjects: captures, positions, options and the
// quiet failures.
#include "web/regex_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "runtime/gbk.h"

namespace web {
namespace {

using rt::operator""_gbk;
using rt::Text;

TEST(RegexObject, ChineseCapturesComeBackUnchanged) {
  RegexObject regex;
  Text page = "<li><a href=\"/p/1\">风景相册</a><span>12张</span></li>\r\n"
              "<li><a href=\"/p/2\">旅行·二〇二四</a><span>7张</span></li>"_gbk;
  ASSERT_TRUE(regex.Search("<a href=\"/p/(\\d+)\">(.*?)</a><span>(\\d+)张</span>"_gbk, page));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchCount(), 3);
  EXPECT_EQ(regex.SubMatchText(1, 1), "1");
  EXPECT_EQ(regex.SubMatchText(1, 2), "风景相册"_gbk);
  EXPECT_EQ(regex.SubMatchText(2, 2), "旅行·二〇二四"_gbk);
  EXPECT_EQ(regex.SubMatchText(2, 3), "7");
  EXPECT_EQ(regex.MatchText(1), "<a href=\"/p/1\">风景相册</a><span>12张</span>"_gbk);
}

TEST(RegexObject, NoMatchIsNotAFailureButABadPatternIs) {
  RegexObject regex;
  EXPECT_TRUE(regex.Search("xyz", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.MatchText(1), "");
  EXPECT_FALSE(regex.Search("(unclosed", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
  EXPECT_EQ(regex.SubMatchCount(), 0);
}

TEST(RegexObject, IgnoresAsciiCaseUnlessAskedNotTo) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("ABC", "xabcx"));
  EXPECT_EQ(regex.MatchCount(), 1);
  ASSERT_TRUE(regex.Search("ABC", "xabcx", /*case_sensitive=*/true));
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObject, DotStopsAtLineBreaksAndAnchorsWorkPerLine) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("a.b", "a\nb a\rb axb"));
  EXPECT_EQ(regex.MatchCount(), 1);
  ASSERT_TRUE(regex.Search("^(\\w+)$", "one\r\ntwo\nthree"));
  ASSERT_EQ(regex.MatchCount(), 3);
  EXPECT_EQ(regex.SubMatchText(3, 1), "three");
  ASSERT_TRUE(regex.Search("^two$", "one\ntwo", {}, /*multiline=*/false));
  EXPECT_EQ(regex.MatchCount(), 0);
  ASSERT_TRUE(regex.Search("two$", "one\ntwo", {}, false));
  EXPECT_EQ(regex.MatchCount(), 1);
}

TEST(RegexObject, LazyQuantifiersAndNonGlobalSearch) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("<b>(.*?)</b>", "<b>1</b><b>2</b>"));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchText(2, 1), "2");
  ASSERT_TRUE(regex.Search("<b>(.*?)</b>", "<b>1</b><b>2</b>", {}, {}, /*global=*/false));
  EXPECT_EQ(regex.MatchCount(), 1);
}

TEST(RegexObject, AGroupThatDidNotTakePartIsEmpty) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("(a)|(b)", "b"));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "");
  EXPECT_EQ(regex.SubMatchText(1, 2), "b");
  EXPECT_EQ(regex.SubMatchText(1, 3), "");  // out of range
}

TEST(RegexObject, QuoteMarkerStandsForADoubleQuoteOnlyWhenAsked) {
  RegexObject regex;
  Text subject = "title=\"相册\""_gbk;
  ASSERT_TRUE(regex.Search("title=#引号(.*?)#引号"_gbk, subject, {}, {}, {}, true));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "相册"_gbk);
  EXPECT_EQ(regex.GetPattern(), "title=\"(.*?)\"");
  ASSERT_TRUE(regex.Search("title=#引号(.*?)#引号"_gbk, subject));
  EXPECT_EQ(regex.MatchCount(), 0);
}

TEST(RegexObject, PositionsAreByteOffsetsInTheGbkSubject) {
  RegexObject regex;
  Text subject = "中中a文def"_gbk;  // bytes: 4 for 中中, 'a' at 4, 文 at 5-6, def at 7
  ASSERT_TRUE(regex.Search("(a)文(d)(x?)"_gbk, subject));
  ASSERT_EQ(regex.MatchCount(), 1);
  int position = -99;
  EXPECT_EQ(regex.MatchText(1, &position), "a文d"_gbk);
  EXPECT_EQ(position, 4);
  EXPECT_EQ(regex.SubMatchText(1, 1, &position), "a");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(regex.SubMatchText(1, 2, &position), "d");
  EXPECT_EQ(position, 7);
  EXPECT_EQ(regex.SubMatchText(1, 3, &position), "");
  EXPECT_EQ(position, 0);  // an empty capture is found at once
  EXPECT_EQ(regex.SubMatchText(5, 1, &position), "");
  EXPECT_EQ(position, 0);
  ASSERT_TRUE(regex.Search("x*", ""));
  EXPECT_EQ(regex.SubMatchText(5, 1, &position), "");
  EXPECT_EQ(position, -2);
}

TEST(RegexObject, DollarMatchesAtTheEndOfTheText) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("(\\d+)$", "page 42", {}, false));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "42");
}

TEST(RegexObject, ReplacesWithGroupReferences) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("(\\d+)张"_gbk, "共12张，又3张"_gbk));
  EXPECT_EQ(regex.ReplaceMatches("[$1]"), "共[12]，又[3]"_gbk);
  EXPECT_EQ(regex.ReplaceMatches("$$&$0"), "共$&$0，又$&$0"_gbk);
}

TEST(RegexObject, ACopySharesTheLastMatches) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("(b)", "abc"));
  RegexObject copy(regex);
  EXPECT_EQ(copy.MatchCount(), 1);
  EXPECT_EQ(copy.SubMatchText(1, 1), "b");
  int position = -1;
  copy.MatchText(1, &position);
  EXPECT_EQ(position, 1);
}

TEST(RegexObject, RunawayBacktrackingFailsQuietlyAndSoon) {
  RegexObject regex;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(regex.Search("(a+)+$", std::string(40, 'a') + "b", {}, false));
  EXPECT_EQ(regex.MatchCount(), 0);
  // Without a step budget this would run for longer than anyone waits.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A repeated group over a long span needs far more matcher stack than a short
// one; the match must still be found, with its full capture.
TEST(RegexObject, RepeatedGroupsMatchAcrossLongSpans) {
  const Text body = std::string(10000, 'a') + "\n" + std::string(10000, 'b');
  const Text subject = "x<b>" + body + "</b>y";
  for (const char* pattern : {"<b>((?:a|b|\\n)*)</b>", "<b>((?:.|\\n)*?)</b>"}) {
    SCOPED_TRACE(pattern);
    RegexObject regex;
    ASSERT_TRUE(regex.Search(pattern, subject));
    ASSERT_EQ(regex.MatchCount(), 1);
    EXPECT_EQ(regex.SubMatchText(1, 1), body);
  }
}

}  // namespace
}  // namespace web

namespace web {
namespace {

using rt::operator""_gbk;
using rt::Text;

TEST(RegexObject, ARepeatedTextIsPlacedAtItsOwnMatch) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("a", "aa"));
  ASSERT_EQ(regex.MatchCount(), 2);
  int position = -1;
  regex.MatchText(2, &position);
  EXPECT_EQ(position, 1);
}

TEST(RegexObject, UnicodeEscapesNameUtf16Units) {
  RegexObject regex;
  ASSERT_TRUE(regex.Search("\\u4E2D(.)", "a中文"_gbk));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.SubMatchText(1, 1), "文"_gbk);
}

// Over random mixes of ASCII and Chinese, every reported position points at
// the reported text in the GBK subject, and matches come in order.
TEST(RegexObject, PositionsAlwaysPointAtTheMatchedBytes) {
  std::mt19937 random(7);
  const Text pieces[] = {"a", "b", "\n", " ", "中"_gbk, "文"_gbk, "张"_gbk, "1", "\""};
  const char* patterns[] = {"(中|a)+", "[ab]文?", "(.)\\1", "(\\d)|(b)", "张?", "^.", "文$"};
  for (int round = 0; round < 300; ++round) {
    Text subject;
    int length = random() % 16;
    for (int i = 0; i < length; ++i) subject += pieces[random() % 9];
    const char* pattern = patterns[random() % 7];
    RegexObject regex;
    ASSERT_TRUE(regex.Search(rt::FromUtf8(pattern), subject));
    int previous = -1;
    for (int m = 1; m <= regex.MatchCount(); ++m) {
      int position = -5;
      Text text = regex.MatchText(m, &position);
      SCOPED_TRACE(pattern);
      if (text.empty()) {
        EXPECT_EQ(position, subject.empty() ? -2 : 0);
        continue;
      }
      ASSERT_GE(position, 0);
      EXPECT_EQ(subject.substr(position, text.size()), text);
      EXPECT_GT(position, previous);
      previous = position;
      int group_position = -5;
      Text group = regex.SubMatchText(m, 1, &group_position);
      if (!group.empty()) {
        EXPECT_EQ(subject.substr(group_position, group.size()), group);
      }
    }
  }
}

// Every well-formed double-byte pair goes through the engine and comes back
// unchanged, and a position after any of them counts its two bytes.
TEST(RegexObject, EveryGbkPairComesBackUnchanged) {
  Text all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail != 0x7F) all += {static_cast<char>(lead), static_cast<char>(trail)};
    }
  }
  RegexObject regex;
  ASSERT_TRUE(regex.Search("<(.*)>", "<" + all + ">"));
  ASSERT_EQ(regex.MatchCount(), 1);
  EXPECT_TRUE(regex.SubMatchText(1, 1) == all);  // not printed: 47 KB of bytes
  // User-defined (AAA1, F8A1, A140) and GB18030-only (A8BF, D7FA, FE50) codes.
  for (const char* odd :
       {"\xAA\xA1", "\xF8\xA1", "\xA1\x40", "\xA8\xBF", "\xD7\xFA", "\xFE\x50"}) {
    SCOPED_TRACE(testing::PrintToString(odd));
    const Text subject = "中"_gbk + std::string(odd) + std::string(odd) + "x=1"_gbk;
    ASSERT_TRUE(regex.Search("(.)(x=\\d)", subject));
    ASSERT_EQ(regex.MatchCount(), 1);
    int position = -1;
    EXPECT_EQ(regex.SubMatchText(1, 1, &position), odd);
    EXPECT_EQ(position, 4);
    EXPECT_EQ(regex.SubMatchText(1, 2, &position), "x=1");
    EXPECT_EQ(position, 6);
  }
}

const std::string& AlbumPattern() {
  return R"(<span class=\\"grbm_ele_pic_amount \\">(.*?)<span class=\\"grbm_ele_pic_amount_letter\\">张</span></span></a>          <div class=\\"grbm_ele_title\\"><a hidefocus=\\"true\\" target=\\"_blank\\" href=\\"/p/(.*?)\\" title=\\"(.*?)\\">(.*?)</a></div>)"_gbk;
}

// One album entry as it stands in the album-list answer (HTML inside a JSON
// string); a broken entry closes its link text with another tag.
Text AlbumEntry(int album, bool broken) {
  const Text name = "相册"_gbk + std::to_string(album);
  return R"(<li><span class=\"grbm_ele_pic_amount \">)" + std::to_string(album + 1) +
         R"(<span class=\"grbm_ele_pic_amount_letter\">张</span></span></a>          <div class=\"grbm_ele_title\"><a hidefocus=\"true\" target=\"_blank\" href=\"/p/)"_gbk +
         std::to_string(4000000 + album) + R"(\" title=\")" + name + R"(\">)" + name +
         (broken ? "</a></span>" : "</a></div>") + R"(</li>\n)";
}

// A list page on one line: 29 good entries, a broken 30th, then 2,000 plain
// links. Each link's `\">` gives the broken entry's last lazy groups another
// place to try, so that attempt scans to the end of the line 2,000 times.
// The search must get past it: a mark at the end of the page is found too.
TEST(RegexObject, ALongLazyScanAfterTheLastAlbumKeepsEveryAlbum) {
  Text page = R"({"data":{"html":")";
  for (int album = 0; album < 30; ++album) page += AlbumEntry(album, album == 29);
  for (int link = 0; link < 2000; ++link) {
    page += R"(<a href=\"/p/)" + std::to_string(5000000 + link) + R"(\">a link</a>)";
  }
  page += R"("}})";
  ASSERT_GT(page.size(), 70000u);
  RegexObject regex;
  ASSERT_TRUE(regex.Search(AlbumPattern(), page));
  ASSERT_EQ(regex.MatchCount(), 29);
  EXPECT_EQ(regex.SubMatchText(29, 1), "29");
  EXPECT_EQ(regex.SubMatchText(29, 2), "4000028");
  EXPECT_EQ(regex.SubMatchText(29, 3), "相册28"_gbk);
  ASSERT_TRUE(regex.Search(AlbumPattern() + "|(the end)", page + "the end"));
  ASSERT_EQ(regex.MatchCount(), 30);
  EXPECT_EQ(regex.MatchText(30), "the end");
}

// When an attempt runs out of steps, the matches found before it stay.
TEST(RegexObject, MatchesBeforeARunawayAttemptAreKept) {
  RegexObject regex;
  ASSERT_TRUE(
      regex.Search("x(\\d)|(a+)+$", "x1 x2 " + std::string(40, 'a') + "b", {}, false));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchText(2, 1), "2");
}

}  // namespace
}  // namespace web
