#include "platform/codepage.h"

#include <gtest/gtest.h>

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

TEST(CodePage, NeverLoopsOnArbitraryBytes) {
  std::string every_byte;
  for (int c = 0; c < 256; ++c) every_byte.push_back(static_cast<char>(c));
  std::string utf8 = ToUtf8(every_byte + every_byte);
  EXPECT_GE(utf8.size(), every_byte.size());
  EXPECT_FALSE(FromUtf8(every_byte).empty());
  EXPECT_FALSE(Convert(CodePage::kGb18030, CodePage::kGbk, every_byte).empty());
}

}  // namespace
}  // namespace platform
