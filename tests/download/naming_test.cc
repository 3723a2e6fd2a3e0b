// Cleaning of album names and descriptions into folder and file names.
#include "download/naming.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/gbk.h"

namespace download {
namespace {

using rt::operator""_gbk;
using rt::Text;

Text Album(Text name) { return SafeAlbumName(name); }
Text Description(Text text, int max = kDescriptionLimit) {
  return SafeDescription(text, max);
}

TEST(SafeAlbumName, DropsSpacesFullWidthColonAndDots) {
  EXPECT_EQ(Album("春日 散步：16.08"_gbk), "春日散步1608"_gbk);
}

TEST(SafeAlbumName, RemovesEveryListedMarkAndKeepsTheRest) {
  EXPECT_EQ(Album("a:b\"c\\d/e?f*g<h>i|j"), "abcdefghij");
  EXPECT_EQ(Album("旧：相、机？试。片（一）·二！三，四"_gbk), "旧相机试片一二三四"_gbk);
  EXPECT_EQ(Album("x...y. z"), "xyz");
  EXPECT_EQ(Album("a-b_c[d]'e'"), "a-b_c[d]'e'");
  EXPECT_EQ(Album(" :.. ？"_gbk), "");
  EXPECT_EQ(Album("a\tb\r\n"), "a\tb\r\n");  // only the ASCII space goes
}

TEST(SafeAlbumName, KeepsCharactersWhoseTrailByteIsBackslashOrBar) {
  const std::string& bing = "昞"_gbk;  // 95 5C
  const std::string& gai = "晐"_gbk;   // 95 7C
  ASSERT_EQ(bing + gai, "\x95\x5C\x95\x7C");
  EXPECT_EQ(Album(bing + "\\" + gai + "|" + bing), bing + gai + bing);
}

TEST(SafeAlbumName, CallersVariableReceivesTheResult) {
  Text name = "a b";
  Text result = SafeAlbumName(name);
  EXPECT_EQ(name, "ab");
  EXPECT_EQ(result, "ab");
}

TEST(SafeDescription, EscapedLineBreaksGoBeforeTheBackslash) {
  EXPECT_EQ(Description("春游\\n回收"_gbk), "春游回收"_gbk);
  EXPECT_EQ(Description("a\\r\\nb\\c"), "abc");
  EXPECT_EQ(Description("a\\\"nb"), "ab");  // the quote goes first, then backslash + n
  EXPECT_EQ(Description("a\r\nb\nc\rd"), "abcd");
}

TEST(SafeDescription, KeepsCharactersWhoseTrailByteIsBackslash) {
  // 昞 is 95 5C: its trail byte is a backslash, which must not start "\n".
  const std::string bing = "\x95\x5C";
  EXPECT_EQ(Description(bing + "n"), bing + "n");
  EXPECT_EQ(Description(bing + "\\n"), bing);
  EXPECT_EQ(Description("a\\" + bing + "n"), "a" + bing + "n");
}

TEST(SafeDescription, DropsALoneLeadByteAtTheEnd) {
  EXPECT_EQ(Description("abc\x81"), "abc");
  EXPECT_EQ(Description(std::string(239, 'a') + "\x81"), std::string(239, 'a'));
}

TEST(SafeDescription, TrimsSpacesAtTheEndsOnly) {
  EXPECT_EQ(Description("  a?b  "), "ab");
  EXPECT_EQ(Description("　a b　"_gbk), "a b");  // full-width spaces at the ends too
  EXPECT_EQ(Description("<>|"), "");
  EXPECT_EQ(Description(""), "");
}

TEST(SafeDescription, CutsAtTheLimitOnAWholeCharacter) {
  EXPECT_EQ(Description(std::string(300, 'a')), std::string(240, 'a'));
  EXPECT_EQ(Description(std::string(240, 'a')), std::string(240, 'a'));
  // 239 letters and a double-byte character: the character does not fit.
  EXPECT_EQ(Description(std::string(239, 'a') + "中"_gbk), std::string(239, 'a'));
  EXPECT_EQ(Description(std::string(238, 'a') + "中"_gbk + "b"),
            std::string(238, 'a') + "中"_gbk);
  // The cut comes after the removals and before the trim.
  EXPECT_EQ(Description(std::string(10, '.') + std::string(239, 'a') + "  x"),
            std::string(239, 'a'));
  EXPECT_EQ(Description("abc", 0), "");
  Text text = "中文"_gbk + "...";
  EXPECT_EQ(SafeDescription(text, 3), "中"_gbk);
  EXPECT_EQ(text, "中"_gbk);
}

// Random names made of whole characters, each either one the folder name
// loses (the marks of the album-name rule, written out here) or one it
// keeps: the name must come out as the kept ones alone, in their order. The
// kept ones hold double-byte characters whose trail byte is "\\" or "|",
// and "海" (BA A3), two of which hold the bytes of "：" (A3 BA) across their
// boundary; a lone lead byte may end the name and stays.
TEST(SafeAlbumName, RandomNamesKeepExactlyTheirOtherCharacters) {
  const std::vector<Text> removed = {":",      "\"",     "\\",     "/",      "?",      "*",
                                     "<",      ">",      "|",      "："_gbk, "、"_gbk, "？"_gbk,
                                     "。"_gbk, "（"_gbk, "）"_gbk, "·"_gbk,  "！"_gbk, "，"_gbk,
                                     ".",      "...",    " "};
  const std::vector<Text> kept = {"a",        "Z",        "0",      "-",      "_",      "[",
                                  "'",        "\t",       "\r",     "\n",     "中"_gbk, "海"_gbk,
                                  "\x95\x5C", "\x95\x7C", "；"_gbk, "　"_gbk, "“"_gbk,  "Ａ"_gbk};
  std::mt19937 random(12345);
  for (int round = 0; round < 5000; ++round) {
    Text name, expected;
    const int length = random() % 16;
    for (int i = 0; i < length; ++i) {
      if (random() % 2) {
        name += removed[random() % removed.size()];
      } else {
        const Text& c = kept[random() % kept.size()];
        name += c;
        expected += c;
      }
    }
    if (random() % 8 == 0) {
      name += "\x81";
      expected += "\x81";
    }
    ASSERT_EQ(Album(name), expected) << round;
  }
}

}  // namespace
}  // namespace download
