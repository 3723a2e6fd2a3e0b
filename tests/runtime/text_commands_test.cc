#include "runtime/text_commands.h"

#include <gtest/gtest.h>

#include "runtime/gbk.h"

namespace rt {
namespace {

// 中 is D6 D0, 文 is CE C4; their junction D0 CE is a byte pair that must
// never be found.
const std::string kZhongWen = "\xD6\xD0\xCE\xC4";

TEST(FindText, FollowsStartAndEmptySoughtRules) {
  EXPECT_EQ(FindText("abc", ""), 1);
  EXPECT_EQ(FindText("", ""), -1);
  EXPECT_EQ(FindText("abc", "c", 3), 3);
  EXPECT_EQ(FindText("abc", "a", 4), -1);
  EXPECT_EQ(FindText("abc", "a", -5), 1);
  EXPECT_EQ(FindText("abcabc", "bc", 3), 5);
  EXPECT_EQ(FindText("abc", "abcd"), -1);
  EXPECT_EQ(FindText("ABC", "b"), -1);
  EXPECT_EQ(FindText("ABC", "b", {}, true), 2);
}

TEST(FindText, NeverStartsOnATrailByte) {
  EXPECT_EQ(FindText(kZhongWen, "\xD0\xCE"), -1);
  EXPECT_EQ(FindText(kZhongWen, "\xCE\xC4"), 3);
  // 0x81 0x41 is one character whose trail byte is the letter 'A'.
  EXPECT_EQ(FindText("\x81\x41" "A", "A"), 3);
  EXPECT_EQ(FindText("\x81\x41" "a", "a", {}, true), 3);
  EXPECT_EQ(FindTextReverse("A\x81\x41", "A"), 1);
}

TEST(FindText, ALeadByteBeforeTheEndStopsTheScan) {
  EXPECT_EQ(FindText("ab\xD6", "\xD6"), -1);
  EXPECT_EQ(FindText("ab\xD6", "b"), 2);
  EXPECT_EQ(FindTextReverse("b\xD6", "b"), 1);
}

TEST(FindTextReverse, FindsTheLastHitEndingBeforeStart) {
  EXPECT_EQ(FindTextReverse("a.b.c", "."), 4);
  EXPECT_EQ(FindTextReverse("a.b.c", ".", 4), 2);
  EXPECT_EQ(FindTextReverse("a.b.c", ".", 1), -1);
  EXPECT_EQ(FindTextReverse("a.b.c", ".", 99), 4);
  EXPECT_EQ(FindTextReverse("abab", "ab", 4), 1);  // the hit at 3 would end at 4
  EXPECT_EQ(FindTextReverse("abc", ""), 1);
  EXPECT_EQ(FindTextReverse("abc", "", 1), -1);
  EXPECT_EQ(FindTextReverse(kZhongWen + kZhongWen, "\xD6\xD0"), 5);
}

TEST(SubTexts, CountBytesAndClipToTheText) {
  EXPECT_EQ(MidText("abcdef", 5, 10), "ef");
  EXPECT_EQ(MidText("abc", 0, 2), "");
  EXPECT_EQ(MidText("abc", 4, 2), "");
  EXPECT_EQ(MidText("abc", 2, 0), "");
  EXPECT_EQ(MidText("abc", 2, 1), "b");
  EXPECT_EQ(LeftText("abc", 10), "abc");
  EXPECT_EQ(LeftText("abc", 0), "");
  EXPECT_EQ(LeftText("abc", -1), "");
  EXPECT_EQ(RightText("abc", 10), "abc");
  EXPECT_EQ(RightText("abc", 2), "bc");
  EXPECT_EQ(RightText("abc", -2), "");
  EXPECT_EQ(LeftText(kZhongWen, 3), "\xD6\xD0\xCE");  // bytes, so a character may be cut
  EXPECT_EQ(Character(0x41), "A");
  EXPECT_EQ(Character(0), "");
  EXPECT_EQ(TextLength(kZhongWen), 4);
  EXPECT_EQ(Spaces(3), "   ");
  EXPECT_EQ(Spaces(0), "");
}

TEST(TrimText, RemovesFullWidthSpacesButKeepsTabsAndLineBreaks) {
  EXPECT_EQ(TrimText("\xA1\xA1 a b \xA1\xA1"), "a b");
  EXPECT_EQ(TrimText("\tx\r\n"), "\tx\r\n");
  EXPECT_EQ(TrimText("   "), "");
  EXPECT_EQ(TrimText("\xA1\xA1"), "");
  // B0 A1 is one character; the A1 A1 that straddles it and the next byte
  // is no space, while the A1 A1 pair after it is.
  EXPECT_EQ(TrimText("\xB0\xA1\xA1\xA1 "), "\xB0\xA1");
  EXPECT_EQ(TrimText("\xB0\xA1\xA1 "), "\xB0\xA1\xA1 ");  // A1 20 is one character
  EXPECT_EQ(RemoveSpaces(" a\xA1\xA1" "b \xB0\xA1\xA1\xA1"), "ab\xB0\xA1");
  EXPECT_EQ(RemoveSpaces("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
}

TEST(ToLowerCase, FoldsAsciiOnlyAndLeavesTrailBytes) {
  EXPECT_EQ(ToLowerCase("AbC\x81\x41Z"), "abc\x81\x41z");
}

TEST(ReplaceText, FoldsCaseUnlessAskedAndCountsReplacements) {
  EXPECT_EQ(ReplaceText("AbAb", "ab", "x"), "xx");
  EXPECT_EQ(ReplaceText("AbAb", "ab", "x", {}, {}, true), "AbAb");
  EXPECT_EQ(ReplaceText("AbAb", "ab", "x", {}, 1), "xAb");
  EXPECT_EQ(ReplaceText("AbAb", "ab", "x", 9), "AbAb");
  EXPECT_EQ(ReplaceText("abab", "ab", "x", 2), "abx");
  EXPECT_EQ(ReplaceText("abab", "ab", "x", 3), "abx");
  EXPECT_EQ(ReplaceText("abab", "ab", "x", {}, 0), "abab");
  EXPECT_EQ(ReplaceText("aaa", "a", "aa"), "aaaaaa");  // never searched again
  EXPECT_EQ(ReplaceText("aaaa", "aa", ""), "");
  EXPECT_EQ(ReplaceText("", "a", "b"), "");
  EXPECT_EQ(ReplaceText("abc", "", "b"), "abc");
  EXPECT_EQ(ReplaceText(kZhongWen, "\xD0\xCE", "!"), kZhongWen);
  EXPECT_EQ(ReplaceText("\x81\x41" "A", "a", "b"), "\x81\x41" "b");
  EXPECT_EQ(ReplaceText("abab", "b", "x", {}, -2147483647 - 1), "axax");  // any other negative: all
  EXPECT_EQ(ReplaceText("ab\xD6", "\xD6", "X"), "ab\xD6");  // a lone final lead byte is not compared
}

TEST(SplitText, KeepsEmptyPiecesAndHonoursTheMaximum) {
  using V = std::vector<Text>;
  EXPECT_EQ(SplitText("a,,b"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitText("a,b,"), (V{"a", "b"}));
  EXPECT_EQ(SplitText(",a"), (V{"", "a"}));
  EXPECT_EQ(SplitText(""), V{});
  EXPECT_EQ(SplitText("abc", ""), V{"abc"});
  EXPECT_EQ(SplitText("abc", ",", 0), V{});
  EXPECT_EQ(SplitText("abc", ",", -3), V{});
  EXPECT_EQ(SplitText("1--@@--2--@@--3--@@--4", "--@@--", 3), (V{"1", "2", "3"}));
  EXPECT_EQ(SplitText("48--@@--4718--@@--春日"_gbk, "--@@--", 3),
            (V{"48", "4718", "春日"_gbk}));
  EXPECT_EQ(SplitText("a,b", ",", 5), (V{"a", "b"}));
  // A delimiter made of a trail byte and the next lead byte is never found.
  EXPECT_EQ(SplitText(kZhongWen, "\xD0\xCE"), V{kZhongWen});
}

TEST(InlineTexts, JoinAndCompareAsUnsignedBytes) {
  EXPECT_EQ(JoinTexts({"a", "", "bc"}), "abc");
  EXPECT_EQ(JoinTexts({}), "");
  EXPECT_EQ(CompareTexts("", ""), 0);
  EXPECT_EQ(CompareTexts("a", "b"), -1);
  EXPECT_EQ(CompareTexts("\xD6", "a"), 1);
  EXPECT_EQ(CompareTexts("ab", "a"), 1);
}

}  // namespace
}  // namespace rt
