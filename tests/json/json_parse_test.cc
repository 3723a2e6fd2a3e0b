// The JSON object's handles and its lenient parsing dialect: what each kind
// of text reads as, and what is refused.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "json/json_value.h"
#include "runtime/gbk.h"

namespace json {

using rt::Bytes;
using rt::Text;
using rt::operator""_gbk;

namespace {

JsonHandle Parsed(std::string_view text) {
  JsonHandle h;
  EXPECT_TRUE(JsonParse(h, text)) << text;
  return h;
}

bool Parses(std::string_view text) {
  JsonHandle h;
  bool ok = JsonParse(h, text);
  EXPECT_EQ(ok, !h.empty()) << text;
  return ok;
}

TEST(JsonHandle, MemberOutlivesReleasedParent) {
  JsonHandle page = Parsed(R"({"data":{"pic_list":[{"pic_id":"ab"}]}})");
  JsonHandle list = JsonGetMember(JsonGetMember(page, "data"), "pic_list");
  JsonRelease(page);
  EXPECT_TRUE(page.empty());
  JsonHandle item = JsonGetItem(list, 0);
  JsonRelease(list);
  EXPECT_EQ(JsonToText(JsonGetMember(item, "pic_id")), "\"ab\"");
}

TEST(JsonHandle, ReparsingReplacesTheValueAndCopiesShareIt) {
  JsonHandle h = Parsed("[1,2]");
  JsonHandle copy = h;
  ASSERT_TRUE(JsonParse(h, "{\"a\":true}"));
  EXPECT_EQ(JsonArrayLength(copy), 2);
  EXPECT_EQ(JsonToText(h), "{\"a\":true}");
  JsonInitialise(h);
  EXPECT_TRUE(h.empty());
  EXPECT_EQ(JsonToText(h), "null");
}

TEST(JsonHandle, ParsesTextHeldByItsOwnOldValue) {
  JsonHandle h = Parsed(R"({"inner":"[1,2,3]"})");
  JsonHandle inner = JsonGetMember(h, "inner");
  JsonRelease(h);  // `inner` now holds the last reference to its text
  ASSERT_TRUE(JsonParse(inner, inner.AsString()));
  EXPECT_EQ(JsonArrayLength(inner), 3);
}

TEST(JsonHandle, FailedParseLeavesNothingUsable) {
  JsonHandle h = Parsed("[1]");
  EXPECT_FALSE(JsonParse(h, "[1,"));
  EXPECT_TRUE(h.empty());
  EXPECT_EQ(JsonArrayLength(h), 0);
  EXPECT_TRUE(JsonGetItem(h, 0).empty());
  EXPECT_TRUE(JsonGetMember(h, "a").empty());
  EXPECT_EQ(JsonToText(h), "null");
}

TEST(JsonLookup, WrongKindMissingKeyNullMemberAndBadIndexGiveEmptyHandles) {
  JsonHandle h = Parsed(R"({"n":null,"a":[null,1],"s":"x"})");
  EXPECT_TRUE(JsonGetMember(h, "n").empty());
  EXPECT_TRUE(JsonGetMember(h, "missing").empty());
  EXPECT_EQ(JsonToText(JsonGetMember(h, "n")), "null");
  EXPECT_EQ(JsonToText(JsonGetMember(h, "missing")), "null");
  EXPECT_TRUE(JsonGetMember(h, "N").empty());  // keys are case-sensitive
  JsonHandle a = JsonGetMember(h, "a");
  EXPECT_EQ(JsonArrayLength(a), 2);
  EXPECT_EQ(JsonToText(JsonGetItem(a, 0)), "null");
  EXPECT_TRUE(JsonGetItem(a, 2).empty());
  EXPECT_TRUE(JsonGetItem(a, -1).empty());
  EXPECT_TRUE(JsonGetItem(h, 0).empty());
  EXPECT_EQ(JsonArrayLength(h), 0);
  EXPECT_TRUE(JsonGetMember(a, "0").empty());
  EXPECT_TRUE(JsonGetMember(JsonGetMember(h, "s"), "x").empty());
  JsonHandle empty_key = Parsed(R"({"":1,"b":2})");
  EXPECT_EQ(JsonToText(JsonGetMember(empty_key, "")), "1");
  EXPECT_EQ(JsonToText(JsonGetMember(empty_key, "b")), "2");
  EXPECT_TRUE(JsonGetMember(h, "").empty());
}

struct NumberCase {
  const char* text;
  JsonKind kind;
  int64_t integer;
  double real;
};

TEST(JsonParse, NumberKindsFollowTheDialect) {
  const NumberCase cases[] = {
      {"12", JsonKind::kInt, 12, 0},
      {"0", JsonKind::kInt, 0, 0},
      {"-0", JsonKind::kInt, 0, 0},
      {"2147483646", JsonKind::kInt, 2147483646, 0},
      {"2147483647", JsonKind::kInt64, 2147483647, 0},
      {"-1", JsonKind::kInt64, -1, 0},
      {"-01", JsonKind::kInt64, -1, 0},
      {"1E3", JsonKind::kInt, 1, 0},  // no "." and no lowercase "e": read as an integer
      {"12-3", JsonKind::kInt, 12, 0},
      {"999999999999999999", JsonKind::kInt64, 999999999999999999, 0},
      {"-999999999999999999", JsonKind::kInt64, -999999999999999999, 0},
      {"1000000000000000000", JsonKind::kInt64, 1000000000000000000, 0},
      {"9223372036854775807", JsonKind::kInt64, std::numeric_limits<int64_t>::max(), 0},
      {"-9223372036854775808", JsonKind::kInt64, std::numeric_limits<int64_t>::min(), 0},
      // Nineteen digits beyond the 64-bit range are held at the bound too.
      {"9223372036854775808", JsonKind::kInt64, std::numeric_limits<int64_t>::max(), 0},
      {"9999999999999999999", JsonKind::kInt64, std::numeric_limits<int64_t>::max(), 0},
      {"-9223372036854775809", JsonKind::kInt64, std::numeric_limits<int64_t>::min(), 0},
      {"-9999999999999999999", JsonKind::kInt64, std::numeric_limits<int64_t>::min(), 0},
      {"99999999999999999999", JsonKind::kInt64, std::numeric_limits<int64_t>::max(), 0},
      {"-99999999999999999999", JsonKind::kInt64, std::numeric_limits<int64_t>::min(), 0},
      {"1.5", JsonKind::kDouble, 0, 1.5},
      {"1e3", JsonKind::kDouble, 0, 1000},
      {"1.5E2", JsonKind::kDouble, 0, 150},
      {"-0.25e-2", JsonKind::kDouble, 0, -0.0025},
      {"1.0e+", JsonKind::kDouble, 0, 1.0},  // the longest readable prefix
      {"2.", JsonKind::kDouble, 0, 2.0},
      {"1.2.3", JsonKind::kDouble, 0, 1.2},
  };
  for (const NumberCase& c : cases) {
    JsonHandle h = Parsed(c.text);
    ASSERT_FALSE(h.empty()) << c.text;
    EXPECT_EQ(h.kind(), c.kind) << c.text;
    if (c.kind == JsonKind::kDouble) {
      EXPECT_DOUBLE_EQ(h.AsDouble(), c.real) << c.text;
    } else {
      EXPECT_EQ(h.AsInt64(), c.integer) << c.text;
    }
  }
  // Inside an array too, where a number ends at a comma or a bracket.
  const JsonHandle list = Parsed("[9999999999999999999,-9999999999999999999]");
  EXPECT_EQ(JsonGetItem(list, 0).AsInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(JsonGetItem(list, 1).AsInt64(), std::numeric_limits<int64_t>::min());
  for (const char* bad : {"-", "-.", "-e5", "--1", "+1", ".5", "[-]"}) {
    EXPECT_FALSE(Parses(bad)) << bad;
  }
}

TEST(JsonParse, LiteralsIgnoreCase) {
  EXPECT_EQ(JsonToText(Parsed("[TRUE,False,nULL,tRuE]")), "[true,false,null,true]");
  EXPECT_TRUE(Parsed("True").AsBoolean());
  EXPECT_EQ(Parsed("NULL").kind(), JsonKind::kNull);
  for (const char* bad : {"tru", "[fals]", "nul", "[nil]", "[t]"})
    EXPECT_FALSE(Parses(bad)) << bad;
}

TEST(JsonParse, CommentsCountAsWhiteSpace) {
  JsonHandle h =
      Parsed("/* head */ { // line\n \"a\" /*k*/ : /*v*/ [1 /*x*/ , // y\r 2] }");
  EXPECT_EQ(JsonToText(h), "{\"a\":[1,2]}");
  EXPECT_FALSE(Parses("/* never closed [1]"));
  EXPECT_FALSE(Parses("// only a comment"));
  EXPECT_FALSE(Parses("[1 / 2]"));
}

TEST(JsonParse, OnlySpaceTabCrLfAreWhiteSpace) {
  EXPECT_TRUE(Parses(" \t\r\n[ \t\r\n1 \t\r\n] "));
  EXPECT_FALSE(Parses("\f[1]"));
  EXPECT_FALSE(Parses("[1\v]"));
  EXPECT_FALSE(Parses(""));
  EXPECT_FALSE(Parses("  \r\n"));
}

TEST(JsonParse, EitherQuoteAndUnquotedKeys) {
  JsonHandle h = Parsed(R"({'a':'it"s', b c :1,"d":'x\'y'})");
  EXPECT_EQ(JsonGetMember(h, "a").AsString(), "it\"s");
  EXPECT_EQ(JsonGetMember(h, "b c ").AsInt(), 1);  // everything up to the colon
  EXPECT_EQ(JsonGetMember(h, "d").AsString(), "x'y");
  EXPECT_FALSE(Parses("{a}"));
  EXPECT_FALSE(Parses("{\"a\" 1}"));
  EXPECT_FALSE(Parses("{\"a\":1,}"));
  EXPECT_FALSE(Parses("{'a':1"));
}

TEST(JsonParse, TextAfterACompleteValueIsIgnored) {
  EXPECT_EQ(JsonToText(Parsed("[1]]garbage")), "[1]");
  EXPECT_EQ(JsonToText(Parsed("\"a\"\"b\"")), "\"a\"");
  EXPECT_EQ(JsonToText(Parsed("1 2")), "1");
  EXPECT_EQ(JsonToText(Parsed("truex")), "true");
}

TEST(JsonParse, TextEndsAtItsFirstNulByte) {
  using namespace std::string_view_literals;
  EXPECT_FALSE(Parses("[1\0]"sv));
  EXPECT_EQ(JsonToText(Parsed("[1]\0["sv)), "[1]");
}

TEST(JsonParse, ArraysNeedCommasBetweenValues) {
  EXPECT_EQ(JsonArrayLength(Parsed("[]")), 0);
  EXPECT_EQ(JsonArrayLength(Parsed("[ ]")), 0);
  for (const char* bad :
       {"[1,]", "[,1]", "[1 2]", "[1;2]", "[", "[1", "]", "{\"a\":[}"}) {
    EXPECT_FALSE(Parses(bad)) << bad;
  }
}

TEST(JsonParse, NestingDeeperThanThirtyIsRefused) {
  EXPECT_TRUE(Parses(std::string(30, '[') + std::string(30, ']')));
  EXPECT_FALSE(Parses(std::string(31, '[') + std::string(31, ']')));
  std::string mixed;
  for (int i = 0; i < 15; ++i) mixed += "{\"k\":[";
  std::string close;
  for (int i = 0; i < 15; ++i) close += "]}";
  EXPECT_TRUE(Parses(mixed + close));
  EXPECT_FALSE(Parses(mixed + "{}" + close));
  EXPECT_FALSE(Parses(std::string(100000, '[')));
}

TEST(JsonParse, LaterDuplicateKeyReplacesEarlierAtTheEnd) {
  EXPECT_EQ(JsonToText(Parsed(R"({"a":1,"b":2,"a":3})")), R"({"b":2,"a":3})");
  EXPECT_EQ(JsonToText(Parsed(R"({"a":1,"a":2,"a":3})")), R"({"a":3})");
  // Large objects take another path through the duplicate check.
  std::string text = "{", expected = "{";
  for (int i = 0; i < 200; ++i)
    text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  for (int i = 0; i < 200; i += 2)
    text += "\"k" + std::to_string(i) + "\":-" + std::to_string(i) + ",";
  text += "\"end\":0}";
  for (int i = 1; i < 200; i += 2)
    expected += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  for (int i = 0; i < 200; i += 2) {
    expected +=
        "\"k" + std::to_string(i) + "\":" + (i ? "-" : "") + std::to_string(i) + ",";
  }
  expected += "\"end\":0}";
  EXPECT_EQ(JsonToText(Parsed(text)), expected);
}

TEST(JsonParse, KeysDifferingOnlyInTheMiddleStayApart) {
  std::string text = "{";
  for (int i = 0; i < 3000; ++i) {
    text += "\"prefix--" + std::to_string(10000 + i) + "--suffix\":" + std::to_string(i) +
            ",";
  }
  text += "\"prefix--10007--suffix\":-7}";
  JsonHandle h = Parsed(text);
  EXPECT_EQ(JsonGetMember(h, "prefix--10006--suffix").AsInt(), 6);
  EXPECT_EQ(JsonGetMember(h, "prefix--12999--suffix").AsInt(), 2999);
  EXPECT_EQ(JsonGetMember(h, "prefix--10007--suffix").AsInt64(), -7);
  Text printed = JsonToText(h);
  EXPECT_EQ(printed.find("\"prefix--10007--suffix\":7,"), std::string::npos);
  EXPECT_TRUE(printed.ends_with(",\"prefix--10007--suffix\":-7}"));
}

TEST(JsonEscapes, UnicodeEscapesBecomeGb18030Bytes) {
  EXPECT_EQ(Parsed(R"("\u4E2D")").AsString(), "\xD6\xD0");  // 中
  EXPECT_EQ(Parsed(R"("\u4e2d\u6587")").AsString(), "中文"_gbk);
  EXPECT_EQ(Parsed(R"("\u0041\u00e9")").AsString(), "A\xA8\xA6");
  EXPECT_EQ(Parsed(R"("\u0000")").AsString(), std::string(1, '\0'));
  EXPECT_EQ(Parsed(R"("\uD834\uDD1E")").AsString(), "\x94\x32\xBE\x34");  // U+1D11E
}

TEST(JsonEscapes, UnpairedSurrogatesBecomeReplacementCharacters) {
  // A lone high surrogate: U+FFFD in GB18030, so no stray lead byte can
  // swallow the character after it.
  EXPECT_EQ(Parsed(R"("\uD800a")").AsString(),
            "\x84\x31\xA4\x37"
            "a");
  EXPECT_EQ(Parsed(R"("\uD800\u0041")").AsString(),
            "\x84\x31\xA4\x37"
            "A");
  EXPECT_EQ(Parsed(R"("\uDC00")").AsString(), "?");
  EXPECT_EQ(Parsed(R"("\uDD1E\uD834")").AsString(), "?\x84\x31\xA4\x37");
}

TEST(JsonEscapes, ShortEscapesAndUnknownOnes) {
  EXPECT_EQ(Parsed(R"("\"\'\/\\\b\f\n\r\t")").AsString(), "\"'/\\\b\f\n\r\t");
  EXPECT_EQ(Parsed(R"("a\xb\qc")").AsString(), "a\\xb\\qc");
  for (const char* bad : {R"("\u12G4")", R"("\u12")", R"("\u")", R"("\)", R"("abc)"}) {
    EXPECT_FALSE(Parses(bad)) << bad;
  }
}

TEST(JsonGbk, TrailByteEqualToBackslashOrQuoteNeitherEscapesNorEnds) {
  const std::string& bing = "昞"_gbk;  // 95 5C
  ASSERT_EQ(bing, "\x95\x5C");
  JsonHandle h = Parsed("{\"d\":\"" + bing + "n\"}");
  EXPECT_EQ(JsonGetMember(h, "d").AsString(), bing + "n");
  // A backslash before a double-byte character stays, the character is read whole.
  EXPECT_EQ(Parsed("\"\\" + bing + "\"").AsString(), "\\" + bing);
  // A lead byte without a trail byte stands alone: the quote after it
  // still ends the string, and UTF-8 text does not run past its end.
  EXPECT_EQ(Parsed("['\x81','x']").kind(), JsonKind::kArray);
  EXPECT_EQ(Parsed("\"\x81\"").AsString(), "\x81");
  EXPECT_EQ(Parsed("\"\xE2\x82\xAC\xF0\x9D\x84\x9E\"").AsString(),
            "\xE2\x82\xAC\xF0\x9D\x84\x9E");
  EXPECT_EQ(Parsed("{\x81\x30:1}").kind(), JsonKind::kObject);
  EXPECT_EQ(Parsed("{\"纸飞机\":\"试飞\"}"_gbk).kind(), JsonKind::kObject);
}

TEST(JsonDates, HttpDatesBetweenHashes) {
  JsonHandle h = Parsed("[#Sun, 06 Nov 1994 08:49:37 GMT#,#7 nov 2023 23:59:59#]");
  JsonDate d = JsonGetItem(h, 0).AsDate();
  EXPECT_EQ(JsonGetItem(h, 0).kind(), JsonKind::kDate);
  EXPECT_EQ(d, (JsonDate{1994, 11, 0, 6, 8, 49, 37, 0}));
  EXPECT_EQ(JsonToText(h),
            "[#Sun, 06 Nov 1994 08:49:37 GMT#,#Tue, 07 Nov 2023 23:59:59 GMT#]");
  for (const char* bad :
       {"#Sun, 06 Nov 1994#", "#31 Feb 2020 00:00:00#", "#1 Jan 2020 24:00:00#",
        "#1 Foo 2020 00:00:00#", "#1 Jan 2020 00:00:00 PST#", "#1 Jan 2020"}) {
    EXPECT_FALSE(Parses(bad)) << bad;
  }
}

TEST(JsonBinary, Base64BetweenAngleBrackets) {
  EXPECT_EQ(Parsed("<AQID>").AsBinary(), (Bytes{1, 2, 3}));
  EXPECT_EQ(Parsed("<AQ==>").AsBinary(), (Bytes{1}));
  EXPECT_EQ(Parsed("<AQI\r\n>").AsBinary(), (Bytes{1, 2}));
  EXPECT_EQ(Parsed("<>").kind(), JsonKind::kBinary);
  for (const char* bad : {"<A>", "<AQ==AQ==>", "<A*B=>", "<AQID"})
    EXPECT_FALSE(Parses(bad)) << bad;
}

}  // namespace
}  // namespace json
