// The service profile: written and read back whole, every key of a written
// profile taken, and each kind of unfit profile refused with the place named.
#include "shell/service_profile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "../support/temp_dir.h"

namespace shell {
namespace {

std::string Write(const testing_support::TempDir& dir, const std::string& text) {
  const std::string path = dir / "profile.ini";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(ServiceProfile, AWrittenProfileReadsBackAsItWasWritten) {
  testing_support::TempDir dir;
  std::string error;
  // The built-in one; then one with every value changed, so that a key
  // written but not read (or read into the wrong place) shows.
  ServiceProfile changed = BuiltInProfile();
  changed.board_title = "<h1>*</h1>";
  changed.albums_path = "/albums";
  changed.albums_query = "&n={page_size}&p={page}";
  changed.albums_page_size = 20;
  changed.albums_total = "\"total\":*,|共*个";
  changed.albums_entry = "<a href=\"(\\d+)\" id=\"(\\d+)\">(.*?)</a>";
  changed.thread_path = "/thread/{tid}";
  changed.thread_board = "board=\"*\"";
  changed.thread_title = "'*'";  // written between double quotes, read without them
  changed.list_path = "/list";
  changed.guide_path = "/guide";
  changed.guide_amount = "data.count";
  changed.guide_sep = "data.sep";
  changed.version_newest = "v{key}=*;";
  changed.wait_after_page_ms = 0;
  changed.wait_after_picture_ms = 600000;
  changed.list_query = "&rn={page_size}&tid={tid}&pn={page}";
  changed.list_total_query = "&tid={tid}&only=total";
  changed.list_page_size = 100;
  changed.list_pictures = "data.pictures|data.pic_list";
  changed.list_id = "id|pic_id";
  changed.list_description = "text";
  changed.list_total = " total *";
  changed.guide_query = "&tid={tid}&lz={see_lz}&n={next}&from={cursor}";
  changed.guide_next = 30;
  changed.guide_pictures = "list";
  changed.guide_key = "n{n}";
  changed.guide_id = "img.original.id";
  changed.guide_address = "img.original.url|img.screen.waterurl";
  changed.guide_description = "descr.text";
  changed.picture_path = "/p/{id}.png";
  for (const ServiceProfile& profile : {BuiltInProfile(), changed}) {
    const std::optional<ServiceProfile> read =
        LoadProfile(Write(dir, ProfileText(profile)), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, profile);
  }
  // A profile of one key changes that key only; a key given twice takes
  // its last value; a total written as the text before it alone (as
  // profiles were written before markers) runs to the next ",".
  const std::optional<ServiceProfile> one = LoadProfile(
      Write(dir, "[list]\nid=pic\nid=picture_id\ntotal=\"total\":\n"), &error);
  ASSERT_TRUE(one) << error;
  ServiceProfile expected = BuiltInProfile();
  expected.list_id = "picture_id";
  expected.list_total = "\"total\":*,";
  EXPECT_EQ(*one, expected);
}

TEST(ServiceProfile, AnUnfitProfileIsRefusedWithItsPlace) {
  testing_support::TempDir dir;
  const struct {
    const char* text;
    const char* error;  // after "FILE:"
  } cases[] = {
      {"[photos]\n", "1: unknown interface [photos]"},
      {"; a note\n[list]\ncolour=red\n", "3: unknown key colour in [list]"},
      {"id=pic_id\n", "1: a key before any [interface]"},
      {"[list]\njust words\n", "2: not a key=value line"},
      {"[list]\nquery=&tid={tid}&x={host}\n", "2: query: unknown {host}"},
      {"[list]\nquery=&tid={tid}&pn=1\n", "2: query: no {page}"},
      {"[picture]\npath=/forum/pic.jpg\n", "2: path: no {id}"},
      {"[list]\nquery=tid={tid}\n", "2: query: a query must start with '&'"},
      {"[list]\nquery=&u=http://elsewhere/{tid}\n", "2: query: a profile names no host"},
      {"[picture]\npath=//elsewhere/{id}.jpg\n", "2: path: a profile names no host"},
      {"[picture]\npath=forum/{id}.jpg\n", "2: path: a path must start with '/'"},
      {"[list]\nquery=&tid={tid\n", "2: query: a '{' without its '}'"},
      {"[list]\nid=pic id\n", "2: id: a blank or control character"},
      {"[list]\nid=data..pic_id\n", "2: id: an empty member name"},
      {"[list]\nid=data.pic-id\n", "2: id: a member path of names . and |"},
      {"[list]\nid=\n", "2: id: an empty value"},
      {"[list]\npage_size=0\n", "2: page_size: a whole number from 1 to 1000"},
      {"[guide]\nnext=fifty\n", "2: next: a whole number from 2 to 1000"},
      {"[guide]\nkey=#\n", "2: key: the key must hold {n}"},
      {"[board]\ntitle=<title>\n",
       "2: title: each marker holds one '*' between the texts around what it finds"},
      {"[thread]\ntitle=a*b|*c*\n",
       "2: title: each marker holds one '*' between the texts around what it finds"},
      {"[version]\nnewest=#{name}@@*\n", "2: newest: unknown {name}"},
      {"[albums]\nentry=(a)(b\n", "2: entry: a pattern that does not compile"},
      {"[albums]\nentry=(a)(b)\n", "2: entry: a pattern of at least three groups"},
      {"[albums]\npath=/photo/g?kw=x\n", "2: path: a '?' in a path"},
      {"[waits]\nafter_page_ms=-1\n", "2: after_page_ms: a whole number from 0 to 600000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = Write(dir, c.text);
    std::string error;
    EXPECT_FALSE(LoadProfile(path, &error));
    EXPECT_EQ(error, path + ":" + c.error);
  }
  std::string error;
  EXPECT_FALSE(LoadProfile(dir / "missing.ini", &error));
  EXPECT_EQ(error, dir / "missing.ini" + std::string(": cannot be read"));
}

// A thread page names its board's address in its own way; the interfaces
// of that board are asked on the web host only, whatever the page says.
TEST(ServiceProfile, ABoardAddressOnThePageGivesTheInterfaceOnTheWebHostOnly) {
  const std::string guide = "http://w:1/guide?";
  EXPECT_EQ(BoardInterface("w:1/f?kw=x", "w:1", "/guide"), guide + "kw=x");
  EXPECT_EQ(BoardInterface("http://w:1/f?kw=x", "w:1", "/guide"), guide + "kw=x");
  EXPECT_EQ(BoardInterface("HTTPS://W:1/f?ie=utf-8&kw=x", "w:1", "/guide"), guide + "ie=utf-8&kw=x");
  for (const char* elsewhere : {"other/f?kw=x", "w:12/f?kw=x", "x.w:1/f?kw=x", "w:1/p/3", "w:1/f?", ""})
    EXPECT_EQ(BoardInterface(elsewhere, "w:1", "/guide"), "") << elsewhere;
  EXPECT_TRUE(MemberIsNull(R"({"data":{"has_sep":null}})", "data.has_sep"));
  EXPECT_FALSE(MemberIsNull(R"({"data":{"has_sep":0}})", "data.has_sep"));
  EXPECT_FALSE(MemberIsNull(R"({"data":{}})", "data.has_sep"));
}

TEST(ServiceProfile, FillInReplacesTheNamesItIsGivenOnly) {
  EXPECT_EQ(FillIn("&tid={tid}&pn={page}&x={other}", {{"tid", "42"}, {"page", "3"}}),
            "&tid=42&pn=3&x={other}");
  EXPECT_EQ(FillIn("{a}{a}{", {{"a", "{a}"}}), "{a}{a}{");
}

}  // namespace
}  // namespace shell
