#include "runtime/conversion_commands.h"

#include <cmath>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/gbk.h"

namespace rt {
namespace {

TEST(ToInteger, ReadsEveryKind) {
  EXPECT_EQ(ToInteger(Text("１２３"_gbk)), 123);
  EXPECT_EQ(ToInteger(Text("－４５"_gbk)), -45);
  EXPECT_EQ(ToInteger(Text("　 ７８"_gbk)), 78);  // full-width space folds to a blank
  EXPECT_EQ(ToInteger(Text("12abc")), 12);
  EXPECT_EQ(ToInteger(Text("abc")), 0);
  EXPECT_EQ(ToInteger(Text("")), 0);
  EXPECT_EQ(ToInteger(Text(" \t-7")), -7);
  EXPECT_EQ(ToInteger(Text("99999999999")), 2147483647);
  EXPECT_EQ(ToInteger(Text("-99999999999")), -2147483647 - 1);
  EXPECT_EQ(ToInteger(2.9), 2);
  EXPECT_EQ(ToInteger(-2.9), -2);
  EXPECT_EQ(ToInteger(2.9f), 2);
  EXPECT_EQ(ToInteger(4294967298.0), 2);      // low 32 bits of a 64-bit truncation
  EXPECT_EQ(ToInteger(1e30), 0);              // out of range: the indefinite value
  EXPECT_EQ(ToInteger(std::nan("")), 0);
  EXPECT_EQ(ToInteger(int64_t{0x100000005}), 5);
  EXPECT_EQ(ToInteger(uint8_t{200}), 200);
  EXPECT_EQ(ToInteger(int16_t{-3}), -3);
  EXPECT_EQ(ToInteger(true), 1);
  EXPECT_EQ(ToInteger(DateTime(5.5)), 0);
  EXPECT_EQ(ToInteger(Bytes{1, 2}), 0);
  EXPECT_EQ(ToInteger(Value()), 0);
}

TEST(IntegerPart, SnapsNearWholeNumbersThenFloors) {
  EXPECT_EQ(IntegerPart(3.7), 3);
  EXPECT_EQ(IntegerPart(-2.5), -3);
  EXPECT_EQ(IntegerPart(2.9999999999995), 3);
  EXPECT_EQ(IntegerPart(-2.9999999999995), -3);
  EXPECT_EQ(IntegerPart(2.99999), 2);
  EXPECT_EQ(IntegerPart(-0.5), -1);
  EXPECT_EQ(IntegerPart(0), 0);
}

TEST(Remainder, KeepsTheDividendsSignAndChains) {
  EXPECT_DOUBLE_EQ(Remainder(7, {3}), 1);
  EXPECT_DOUBLE_EQ(Remainder(-7, {3}), -1);
  EXPECT_DOUBLE_EQ(Remainder(7, {-3}), 1);
  EXPECT_DOUBLE_EQ(Remainder(100, {7, 3}), 2);  // 100 mod 7 = 2, 2 mod 3 = 2
  EXPECT_DOUBLE_EQ(Remainder(5.5, {2}), 1.5);
  EXPECT_EQ(BitOr({1, 2, 8}), 11);
  EXPECT_EQ(BitOr({0x2000, 0x10}), 0x2010);
}

TEST(ToText, FormatsNumbersLikeTheOriginalRuntime) {
  EXPECT_EQ(ToText(3.0), "3");
  EXPECT_EQ(ToText(0.1), "0.1");
  EXPECT_EQ(ToText(1e20), "1e+020");
  EXPECT_EQ(ToText(-1.5e-7), "-1.5e-007");
  EXPECT_EQ(ToText(1e100), "1e+100");
  EXPECT_EQ(ToText(123456789012345.0), "1.234567890123e+014");
  EXPECT_EQ(ToText(Value(1.0f / 3)), "0.333333");
  EXPECT_EQ(ToText(Value(1e-5f)), "1e-005");
  EXPECT_EQ(ToText(Value(int32_t{-42})), "-42");
  EXPECT_EQ(ToText(Value(int64_t{-9000000000})), "-9000000000");
  EXPECT_EQ(ToText(Value(uint8_t{255})), "255");
  EXPECT_EQ(ToText(Value(true)), "真"_gbk);
  EXPECT_EQ(ToText(Value(false)), "假"_gbk);
  EXPECT_EQ(ToText(Value(Bytes{'a', 'b', 0, 'c'})), "ab");
  EXPECT_EQ(ToText(Value(Text("t"))), "t");
  EXPECT_EQ(ToText(Value()), "");
}

TEST(ToText, WritesDatesWithOnlyTheTimeFieldsThatAreSet) {
  EXPECT_EQ(ToText(Value(DateTime(0))), "1899年12月30日"_gbk);
  EXPECT_EQ(ToText(Value(DateTime(45000))), "2023年3月15日"_gbk);
  EXPECT_EQ(ToText(Value(DateTime(45000.5))), "2023年3月15日12时"_gbk);
  EXPECT_EQ(ToText(Value(DateTime(45000 + 0.5 + 30.0 / 1440))), "2023年3月15日12时30分"_gbk);
  EXPECT_EQ(ToText(Value(DateTime(45000 + 1.0 / 1440 + 5.0 / 86400))),
            "2023年3月15日0时1分5秒"_gbk);
  EXPECT_EQ(ToText(Value(DateTime(-1.25))), "1899年12月29日6时"_gbk);
  EXPECT_EQ(ToText(Value(DateTime(45000.99999999))), "2023年3月16日"_gbk);  // rounds into the next day
  EXPECT_EQ(ToText(Value(DateTime(1e9))), "9999年12月31日"_gbk);  // clamped
  EXPECT_EQ(ToText(Value(DateTime(-1e9))), "100年1月1日"_gbk);
}

TEST(Bytes, ConvertClipAndBlank) {
  EXPECT_EQ(ToBytes(Text("ab")), (Bytes{'a', 'b'}));
  EXPECT_EQ(ToBytes(Text()), Bytes{});
  EXPECT_EQ(ToBytes(int32_t{0x01020304}), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(ToBytes(int16_t{-2}), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(ToBytes(true), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(ToBytes(1.0).size(), 8u);
  EXPECT_EQ(ToBytes(Bytes{9}), Bytes{9});
  EXPECT_EQ(LeftBytes(Bytes{1, 2, 3}, 2), (Bytes{1, 2}));
  EXPECT_EQ(LeftBytes(Bytes{1, 2, 3}, 9), (Bytes{1, 2, 3}));
  EXPECT_EQ(LeftBytes(Bytes{1, 2, 3}, -1), Bytes{});
  EXPECT_EQ(BlankBytes(3), (Bytes{0, 0, 0}));
  EXPECT_EQ(BlankBytes(-3), Bytes{});
  EXPECT_EQ(BytesLength(Bytes{}), 0);
}

TEST(ReadBytesData, WalksAByteArrayWithAPositionVariable) {
  Bytes data = ToBytes(int32_t{7});
  Bytes text = ToBytes(Text("hi"));
  data.insert(data.end(), text.begin(), text.end());
  data.push_back(0);
  data.push_back(0x41);
  int pos = 1;
  EXPECT_EQ(ReadBytesData(data, 3, &pos), Value(int32_t{7}));
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(ReadBytesData(data, 10, &pos), Value(Text("hi")));
  EXPECT_EQ(pos, 8);  // past the zero byte
  EXPECT_EQ(ReadBytesData(data, 10, &pos), Value(Text("A")));
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(ReadBytesData(data, 3, &pos), Value(int32_t{0}));  // below 1 reads nothing
  EXPECT_EQ(pos, -1);
}

TEST(ReadBytesData, MissingHighBytesAreZeroAndTextWithoutZeroTakesAll) {
  EXPECT_EQ(ReadBytesData(Bytes{0x34, 0x12}, 3), Value(int32_t{0x1234}));
  EXPECT_EQ(ReadBytesData(Bytes{5, 0, 0, 0}, 7), Value(true));
  EXPECT_EQ(ReadBytesData(Bytes{0xFF}, 1), Value(uint8_t{255}));
  Bytes no_zero{'a', 'b', 'c'};
  int pos = 1;
  EXPECT_EQ(ReadBytesData(no_zero, 10, &pos), Value(Text("abc")));
  EXPECT_EQ(pos, -1);
  Bytes huge_date = ToBytes(1e12);
  EXPECT_EQ(ReadBytesData(huge_date, 8), Value(DateTime(DateTime::kMax)));
  EXPECT_EQ(ReadBytesData(Bytes{}, 10), Value(Text()));
}

TEST(RandomNumber, StaysWithinItsBoundsAndFollowsTheGenerator) {
  SeedRandom();
  for (int i = 0; i < 2000; ++i) {
    int32_t v = RandomNumber(1, 2000);
    ASSERT_GE(v, 1);
    ASSERT_LE(v, 2000);
    int32_t w = RandomNumber(9, 3);
    ASSERT_GE(w, 3);
    ASSERT_LE(w, 9);
  }
  EXPECT_EQ(RandomNumber(5, 5), 5);
  EXPECT_LE(RandomNumber(), 32767);
  EXPECT_EQ(RandomNumber(-5, -1), 0);  // negative bounds count as 0
  // The generator itself: state = state * 214013 + 2531011, output bits 16..30.
  SeedRandom(1);
  EXPECT_EQ(RandomNumber(), 41);
  EXPECT_EQ(RandomNumber(), 18467);
  EXPECT_EQ(RandomNumber(0, 9), 6334 % 10);
}

TEST(RandomNumber, EachThreadHasItsOwnGeneratorAndSeedingsDiffer) {
  SeedRandom(1);
  int32_t other = -1;
  std::thread([&] { other = RandomNumber(); }).join();  // unseeded: state 1
  EXPECT_EQ(other, 41);
  std::set<int32_t> firsts;
  for (int i = 0; i < 5; ++i) {
    SeedRandom();  // the same millisecond still seeds differently
    firsts.insert(RandomNumber());
  }
  EXPECT_GE(firsts.size(), 4u);
}

}  // namespace
}  // namespace rt
