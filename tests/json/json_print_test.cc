// The JSON object's compact printer, and the service's own answers read the
// way the downloads read them.
#include <gtest/gtest.h>

#include <string>

#include "json/json_value.h"
#include "platform/file_system.h"
#include "runtime/gbk.h"

namespace json {

using rt::Text;
using rt::operator""_gbk;

namespace {

JsonHandle Parsed(std::string_view text) {
  JsonHandle h;
  EXPECT_TRUE(JsonParse(h, text)) << text;
  return h;
}

// Parses, prints, parses the print and prints again: both prints must agree.
std::string StablePrint(std::string_view text) {
  Text first = JsonToText(Parsed(text));
  EXPECT_EQ(JsonToText(Parsed(first)), first) << text;
  return first;
}

std::string ServiceAnswer(const char* name) {
  std::string path = std::string(TIEPIC_SHARED_TESTDATA) + "/service/" + name;
  std::optional<std::string> text = platform::ReadWholeFile(path);
  EXPECT_TRUE(text.has_value()) << path;
  return text.value_or("");
}

TEST(JsonPrint, SlashInAStringMemberIsPrintedEscaped) {
  JsonHandle h = Parsed(R"({"url":"http://a/b.jpg"})");
  EXPECT_EQ(JsonToText(JsonGetMember(h, "url")), R"("http:\/\/a\/b.jpg")");
}

TEST(JsonPrint, IsCompact) {
  EXPECT_EQ(StablePrint("{ \"n\" : 12 ,\r\n \"a\" : [ true , null ] }"),
            R"({"n":12,"a":[true,null]})");
  EXPECT_EQ(StablePrint("[ ]"), "[]");
  EXPECT_EQ(StablePrint("{ }"), "{}");
  EXPECT_EQ(StablePrint("{'k':{'x':[[],{}]}}"), R"({"k":{"x":[[],{}]}})");
}

TEST(JsonPrint, EscapesControlCharactersQuotesSlashesAndBackslashes) {
  EXPECT_EQ(StablePrint(R"("\b\t\n\r\"\/\\")"), R"("\b\t\n\r\"\/\\")");
  EXPECT_EQ(StablePrint(R"("\f\u0001\u001F\u0000")"), R"("\u000c\u0001\u001f\u0000")");
  EXPECT_EQ(StablePrint("'it\"s'"), R"("it\"s")");
  EXPECT_EQ(StablePrint("\"\x7F\x80\xFF'\""), "\"\x7F\x80\xFF'\"");
  EXPECT_EQ(StablePrint("{'a\\nb':1}"), R"({"a\nb":1})");
}

TEST(JsonPrint, NumbersInTheirFormats) {
  EXPECT_EQ(StablePrint("[1.5,1e3,-0.0,1e-7,0.0000015,2147483647,-1,1E3]"),
            "[1.500000,1000.000000,-0.000000,0.000000,0.000002,2147483647,-1,1]");
  EXPECT_EQ(StablePrint("1e300").size(), 301u + 7u);
}

TEST(JsonPrint, DoubleByteCharactersAreNeverEscaped) {
  const std::string& bing = "昞"_gbk;  // trail byte 0x5C
  const std::string& gai = "晐"_gbk;   // trail byte 0x7C
  EXPECT_EQ(StablePrint("\"" + bing + gai + "\""), "\"" + bing + gai + "\"");
  // Four-byte characters (U+1D11E, U+00E9 as 81 30 86 30) pass whole.
  EXPECT_EQ(StablePrint(R"("\uD834\uDD1E\u00e9")"), "\"\x94\x32\xBE\x34\xA8\xA6\"");
  EXPECT_EQ(StablePrint(R"("\u0080")"), "\"\x81\x30\x81\x30\"");
}

TEST(JsonPrint, MalformedDoubleByteShapesStillPrintReadably) {
  // 81 30 from the text, then an escaped quote: the quote comes out escaped.
  JsonHandle h = Parsed("\"\x81\x30\\\"\"");
  ASSERT_EQ(h.AsString(), "\x81\x30\"");
  EXPECT_EQ(StablePrint("\"\x81\x30\\\"\""), "\"\x81\x30\\\"\"");
  // Lone lead bytes before a line feed, at the end, and in UTF-8 text.
  EXPECT_EQ(StablePrint("[\"\x81\n\",\"a\x81\"]"), "[\"\x81\n\",\"a\x81\"]");
  EXPECT_EQ(StablePrint("\"\xE2\x82\xAC\xF0\x9D\x84\x9E\""),
            "\"\xE2\x82\xAC\xF0\x9D\x84\x9E\"");
}

TEST(JsonPrint, LoneLeadByteBeforeAQuoteIsTheOneShapeThatDoesNotReadBack) {
  // Only a single-quoted string can hold it; the print stays well-formed.
  JsonHandle h = Parsed("'\x81\"'");
  ASSERT_EQ(h.AsString(), "\x81\"");
  Text printed = JsonToText(h);
  EXPECT_EQ(printed, "\"\x81\\\"\"");
  EXPECT_EQ(Parsed(printed).AsString(), "\x81\\");
}

TEST(JsonPrint, LonelySurrogateReplacementSurvivesAPrint) {
  EXPECT_EQ(StablePrint(R"(["\uD800","x"])"), "[\"\x84\x31\xA4\x37\",\"x\"]");
}

TEST(JsonPrint, BinaryBreaksLinesAfterEvery72Characters) {
  std::string base64(96, 'A');  // 72 bytes of zeros
  Text printed = StablePrint("<" + base64 + ">");
  EXPECT_EQ(printed, "<" + std::string(72, 'A') + "\r\n" + std::string(24, 'A') + ">");
  EXPECT_EQ(StablePrint("<AQ>"), "<AQ==>");
}

TEST(JsonService, PageNumberedListIsReadTheWayTheDownloadReadsIt) {
  JsonHandle page = Parsed(ServiceAnswer("list-p1.gbk.json"));
  JsonHandle list = JsonGetMember(JsonGetMember(page, "data"), "pic_list");
  ASSERT_EQ(JsonArrayLength(list), 3);
  JsonHandle third = JsonGetItem(list, 2);
  EXPECT_EQ(JsonToText(JsonGetMember(third, "pic_id")),
            "\"e3db1be855c5808948f52c9b19e3e5c9eb5a1587\"");
  EXPECT_EQ(JsonToText(JsonGetMember(third, "descr")), R"("\"纸飞机\"试飞 & 回收")"_gbk);
  EXPECT_EQ(JsonToText(JsonGetMember(JsonGetMember(page, "data"), "total_page")), "1");
  EXPECT_EQ(JsonGetMember(JsonGetMember(page, "data"), "ps").AsString(), "1");
}

TEST(JsonService, GuideAnswerWithEscapedChineseAndObjectKeyedList) {
  JsonHandle page = Parsed(ServiceAnswer("guide-p1.json"));
  JsonHandle list = JsonGetMember(JsonGetMember(page, "data"), "pic_list");
  JsonHandle third = JsonGetMember(list, "#3");
  EXPECT_EQ(JsonGetMember(third, "descr").AsString(), "纸飞机试飞"_gbk);
  JsonHandle original = JsonGetMember(JsonGetMember(third, "img"), "original");
  EXPECT_EQ(JsonToText(JsonGetMember(original, "format")), "\"4\"");
  EXPECT_EQ(JsonToText(JsonGetMember(original, "waterurl")), "\"\"");
  EXPECT_EQ(JsonToText(JsonGetMember(third, "pic_type")), "null");
  EXPECT_TRUE(JsonGetMember(list, "#4").empty());
  EXPECT_EQ(
      JsonArrayLength(JsonGetMember(
          JsonGetMember(Parsed(ServiceAnswer("guide-empty.json")), "data"), "pic_list")),
      0);
}

TEST(JsonService, EveryAnswerPrintsStably) {
  for (const char* name : {"list-p1.gbk.json", "guide-p1.json", "guide-p2.json",
                           "guide-empty.json", "guide-error.json", "list-error.json",
                           "album-list-p1.gbk.json", "album-list-unknown-board.json"}) {
    SCOPED_TRACE(name);
    std::string text = ServiceAnswer(name);
    Text printed = StablePrint(text);
    // The answers are compact and escape no slash, so the print differs
    // from the answer only by its escaped slashes.
    if (text.find("\\u") != std::string::npos) continue;
    std::string expected;
    for (char c : text) {
      if (c == '/') expected.push_back('\\');
      expected.push_back(c);
    }
    EXPECT_EQ(printed, expected);
  }
}

}  // namespace
}  // namespace json
