#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <set>

namespace platform {
namespace {

TEST(CodePage, GbkAndUtf8RoundTripChineseText) {
  const std::string gbk = "\xD6\xBD\xB7\xC9\xBB\xFA";  // 纸飞机
  EXPECT_EQ(ToUtf8(gbk), "纸飞机");
  EXPECT_EQ(FromUtf8("纸飞机"), gbk);
  EXPECT_EQ(FromUtf8("a中b"), "a\xD6\xD0" "b");
  EXPECT_EQ(ToUtf8(""), "");
}

TEST(CodePage, InvalidGbkBytesBecomeReplacementsAndTheRestSurvives) {
  // 0xFF is never a lead byte; a lead byte at the very end has no trail.
  EXPECT_EQ(ToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(ToUtf8("ab\xD6"), "ab\xEF\xBF\xBD");
  // A lead byte followed by a byte that cannot be a trail: only the lead is
  // replaced and the next byte is read afresh.
  EXPECT_EQ(ToUtf8("\xD6 \xD6\xD0"), "\xEF\xBF\xBD 中");
  EXPECT_EQ(ToUtf8("\xD6" "A"), "諥");  // 0x41 is a valid trail byte
}

TEST(CodePage, UnmappableCharactersBecomeOneQuestionMarkEach) {
  EXPECT_EQ(FromUtf8("x😀y"), "x?y");
  EXPECT_EQ(FromUtf8("\xC0\x80z"), "??z");  // overlong encoding: two bad bytes
  std::u16string lone = u"a";
  lone.push_back(static_cast<char16_t>(0xD800));
  lone.push_back(u'b');
  EXPECT_EQ(WideToMultiByte(CodePage::kGbk, lone), "a?b");
  EXPECT_EQ(WideToMultiByte(CodePage::kGbk, u"x😀y"), "x?y");  // one '?' for the whole pair
}

TEST(CodePage, Gb18030HoldsWhatGbkCannot) {
  EXPECT_EQ(WideToMultiByte(CodePage::kGb18030, u"中"), "\xD6\xD0");
  std::string smile = WideToMultiByte(CodePage::kGb18030, u"😀");
  ASSERT_EQ(smile.size(), 4u);
  EXPECT_EQ(MultiByteToWide(CodePage::kGb18030, smile), u"😀");
  EXPECT_EQ(Convert(CodePage::kGb18030, CodePage::kUtf8, smile), "😀");
}

TEST(CodePage, WideConversionsKeepEveryUnit) {
  EXPECT_EQ(MultiByteToWide(CodePage::kGbk, "\xD6\xD0" "1"), u"中1");
  EXPECT_EQ(MultiByteToWide(CodePage::kUtf8, "\xE4\xB8\xAD"), u"中");
  std::string all_ascii;
  for (int c = 1; c < 128; ++c) all_ascii.push_back(static_cast<char>(c));
  EXPECT_EQ(ToUtf8(all_ascii), all_ascii);
  EXPECT_EQ(FromUtf8(all_ascii), all_ascii);
}

// Every byte value once, in order: ASCII stays, 0x80 is the euro sign, the
// bytes 81..FE pair up into 63 characters (each second byte is a trail byte)
// and 0xFF is no character. The pairs are compared with the system's own
// GB18030 converter, which shares GBK's double-byte area; UTF-8 takes none
// of the bytes from 0x80 on.
TEST(CodePage, EveryByteValueConvertsByTheRulesOfEachCodePage) {
  std::string ascii, high, pairs;
  for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  for (int c = 0x80; c < 0x100; ++c) high.push_back(static_cast<char>(c));
  for (int c = 0x81; c <= 0xFE; ++c) pairs.push_back(static_cast<char>(c));
  const std::string every_byte = ascii + high;

  std::u16string wide = MultiByteToWide(CodePage::kGbk, every_byte);
  ASSERT_EQ(wide.size(), 128u + 1 + 63 + 1);
  for (int c = 0; c < 0x80; ++c) ASSERT_EQ(wide[c], c);
  EXPECT_EQ(wide[128], u'\u20AC');
  EXPECT_EQ(wide.substr(129, 63), MultiByteToWide(CodePage::kGb18030, pairs));
  EXPECT_EQ(wide[192], u'\uFFFD');
  // The user-defined pairs among them are the private-use code points.
  EXPECT_EQ(wide[129 + (0xAB - 0x81) / 2], 0xE069);  // AB AC
  EXPECT_EQ(wide[129 + (0xFD - 0x81) / 2], 0xE467);  // FD FE

  const std::string utf8 =
      ascii + "€" + Convert(CodePage::kGb18030, CodePage::kUtf8, pairs) + "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_EQ(ToUtf8(every_byte + every_byte), utf8 + utf8);
  EXPECT_EQ(FromUtf8(every_byte), ascii + std::string(128, '?'));
  EXPECT_EQ(Convert(CodePage::kGb18030, CodePage::kGbk, every_byte), ascii + "?" + pairs + "?");
}

// ASCII is taken eight bytes at a time; a byte from 0x80 on in any of the
// eight places, in the first run of eight or a later one, is read as the
// start of a character.
TEST(CodePage, AHighByteInAnyPlaceOfARunOfEightIsACharacter) {
  const std::string letters = "abcdefghijklmnopqrstuvwx";
  for (size_t at = 0; at < 16; ++at) {
    SCOPED_TRACE(at);
    const std::string before = letters.substr(0, at), after = letters.substr(at);
    EXPECT_EQ(ToUtf8(before + "\xD6\xD0" + after), before + "中" + after);
    EXPECT_EQ(ToUtf8(before + "\x80" + after), before + "€" + after);
    EXPECT_EQ(MultiByteToWide(CodePage::kGbk, before + "\xFF" + after).size(), letters.size() + 1);
  }
}

// Every well-formed double-byte pair (lead 81..FE, trail 40..7E or 80..FE)
// is one character of its own and comes back byte for byte, including the
// user-defined areas and the codes that only GB18030 assigns.
TEST(CodePage, EveryGbkPairRoundTripsAsItsOwnCharacter) {
  std::set<char16_t> seen;
  int failures = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      std::u16string wide = MultiByteToWide(CodePage::kGbk, pair);
      bool ok = wide.size() == 1 && wide[0] != u'\uFFFD' && seen.insert(wide[0]).second &&
                WideToMultiByte(CodePage::kGbk, wide) == pair &&
                FromUtf8(ToUtf8(pair)) == pair;
      if (!ok && ++failures <= 5) ADD_FAILURE() << std::hex << "pair " << lead << trail;
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(seen.size(), 126u * 190u);
}

TEST(CodePage, UserDefinedAreasAreThePrivateUseCodePointsInOrder) {
  struct Case {
    const char* gbk;
    char16_t wide;
  };
  const Case cases[] = {
      {"\xAA\xA1", 0xE000}, {"\xAA\xFE", 0xE05D}, {"\xAB\xA1", 0xE05E},
      {"\xAF\xFE", 0xE233}, {"\xF8\xA1", 0xE234}, {"\xFE\xFE", 0xE4C5},
      {"\xA1\x40", 0xE4C6}, {"\xA1\x7E", 0xE504}, {"\xA1\x80", 0xE505},
      {"\xA1\xA0", 0xE525}, {"\xA2\x40", 0xE526}, {"\xA7\xA0", 0xE765},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gbk);
    EXPECT_EQ(MultiByteToWide(CodePage::kGbk, c.gbk), std::u16string(1, c.wide));
    EXPECT_EQ(WideToMultiByte(CodePage::kGbk, std::u16string(1, c.wide)), c.gbk);
  }
  // A character on either side keeps its place.
  EXPECT_EQ(MultiByteToWide(CodePage::kGbk, "a\xAA\xA1\xD6\xD0"), u"a\uE000中");
}

}  // namespace
}  // namespace platform
