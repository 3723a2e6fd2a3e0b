// The stand-in's answers against the sample answers of the service: byte for
// byte where the data can be made the same, member for member (names, order,
// types) where it cannot, and the text forms (GBK bytes, \u escapes) the
// samples use.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "json/json_value.h"
#include "platform/codepage.h"
#include "stand-in/pages.h"
#include "stand-in/texts.h"
#include "stand_in_test_support.h"

namespace standin {
namespace {

using stand_in_test::Sample;

const Hosts kRealHosts{"tieba.baidu.com", "imgsrc.baidu.com"};

Thread Album(std::string tid, std::string title, int count, std::string cover) {
  Thread album{std::move(tid), std::move(title), true, "0", {}};
  for (int i = 0; i < count; ++i) {
    Picture picture;
    picture.id = i == 0 ? cover : std::to_string(100000 + i) + std::string(34, 'a');
    album.pictures.push_back(picture);
  }
  return album;
}

// The board and albums of the album-list sample.
DataSet SampleBoard() {
  DataSet data;
  data.board = "纸飞机";
  data.threads = {
      Album("4718203956", "春日散步", 48, "5813133f71403941c4af11196d8cc643fd31e703"),
      Album("4720051837", "旧相机试片", 23, "136e2aaa4f781854662f5b7e59c1404d0e3970c9"),
      Album("4731986402", "二〇一六年夏天在海边用旧胶片相机拍的全部照片", 25,
            "01285cfffc3dc0c7d32b967cbc0285c7720d6014")};
  return data;
}

Route AlbumRoute(std::string kw, int pn) {
  Route route;
  route.iface = Interface::kAlbumList;
  route.kw = std::move(kw);
  route.pn = pn;
  route.rn = 30;
  return route;
}

// A JSON text with every member's value reduced to its type: strings to S,
// numbers to N (null, true, false, objects and arrays stay).
std::string Skeleton(const std::string& json) {
  std::string s = std::regex_replace(json, std::regex(R"(:"(?:[^"\\]|\\.)*")"), ":S");
  return std::regex_replace(s, std::regex(R"(:-?[0-9]+)"), ":N");
}

// The text of the object member `key` ("#1") in `json`: from its "{" to the
// matching "}" (strings are skipped).
std::string Member(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\":{");
  if (at == std::string::npos) return "";
  size_t start = json.find('{', at), depth = 0;
  bool in_string = false;
  for (size_t i = start; i < json.size(); ++i) {
    char c = json[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return json.substr(start, i - start + 1);
    }
  }
  return "";
}

// The member at `path` of a parsed answer: names joined by ".", an array's
// entry as "name[N]" (N = -1: the last one).
json::JsonHandle At(const json::JsonHandle& root, const std::string& path) {
  json::JsonHandle at = root;
  for (size_t start = 0; start <= path.size();) {
    size_t dot = path.find('.', start);
    std::string step = path.substr(start, dot == std::string::npos ? dot : dot - start);
    size_t bracket = step.find('[');
    at = json::JsonGetMember(at, step.substr(0, bracket));
    if (bracket != std::string::npos) {
      int n = std::stoi(step.substr(bracket + 1));
      at = json::JsonGetItem(at, n < 0 ? json::JsonArrayLength(at) + n : n);
    }
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return at;
}

// The pictures of a list's array or a guide's "#1", "#2", ... map.
int Entries(const json::JsonHandle& list) {
  if (list.kind() == json::JsonKind::kArray) return json::JsonArrayLength(list);
  int n = 0;
  while (!json::JsonGetMember(list, "#" + std::to_string(n + 1)).empty()) ++n;
  return n;
}

std::string Unquoted(std::string printed) {
  if (printed.size() >= 2 && printed.front() == '"' && printed.back() == '"')
    printed = printed.substr(1, printed.size() - 2);
  return printed;
}

TEST(StandInAnswers, AlbumListPageIsTheSampleByteForByte) {
  DataSet data = SampleBoard();
  DataIndex index(&data);
  Answer page = AlbumListPage(index, kRealHosts, AlbumRoute(Gbk("纸飞机"), 1));
  // The sample also lists a second catalog, which the stand-in does not model.
  std::string sample = Sample("album-list-p1.gbk.json");
  size_t li = sample.find(Gbk("<li class=\\\"catalog_li_normal\\\">"));
  size_t li_end = sample.find("</li>", li) + 5;
  ASSERT_NE(li, std::string::npos);
  EXPECT_EQ(page.body, sample.erase(li, li_end - li));
  EXPECT_EQ(AlbumListPage(index, kRealHosts, AlbumRoute("纸飞机", 1)).body, page.body)
      << "a UTF-8 keyword names the same board";
  // Past the last album: the catalog and no entries.
  std::string beyond =
      AlbumListPage(index, kRealHosts, AlbumRoute(Gbk("纸飞机"), 2)).body;
  EXPECT_NE(beyond.find(Gbk("全部<span class=\\\"catalog_a_amount\\\">(3)")),
            std::string::npos);
  EXPECT_EQ(beyond.find("grbm_ele_wrapper"), std::string::npos);
}

TEST(StandInAnswers, FixedAnswersAreTheSamplesByteForByte) {
  DataSet data = SampleBoard();
  data.threads.push_back(Thread{"4800000001", "无图", false, "0", {}});
  DataIndex index(&data);
  DataSet empty_board;
  empty_board.board = "纸飞机";
  DataIndex empty_index(&empty_board);
  Route guide;
  guide.tid = "4800000001";
  guide.next = 50;
  Route unknown_guide;
  unknown_guide.tid = "1";
  Route list;
  list.tid = "4800000001";  // not an album
  list.pn = list.rn = list.pe = 1;
  struct Case {
    const char* sample;
    std::string body;
  } cases[] = {
      {"album-list-unknown-board.json",
       AlbumListPage(index, kRealHosts, AlbumRoute(Gbk("没有这个吧"), 1)).body},
      {"album-list-no-albums.gbk.html",
       AlbumListPage(empty_index, kRealHosts, AlbumRoute(Gbk("纸飞机"), 1)).body},
      {"guide-empty.json", GuideAnswer(index, kRealHosts, guide).body},
      {"guide-error.json", GuideAnswer(index, kRealHosts, unknown_guide).body},
      {"list-error.json", ListAnswer(index, kRealHosts, list).body},
      {"security-check.html", SecurityCheckPage().body},
  };
  for (const Case& c : cases) EXPECT_EQ(c.body, Sample(c.sample)) << c.sample;
}

TEST(StandInAnswers, GuideAndListHaveTheSamplesMembersInOrder) {
  DataSet data = SampleBoard();
  DataIndex index(&data);
  Route guide;
  guide.tid = "4718203956";
  guide.next = 50;
  guide.prev = 1;
  std::string mine = GuideAnswer(index, kRealHosts, guide).body;
  std::string sample = Sample("guide-p1.json");
  EXPECT_EQ(Skeleton(Member(mine, "#1")), Skeleton(Member(sample, "#1")));
  EXPECT_EQ(Skeleton(mine.substr(0, mine.find("\"pic_list\""))),
            Skeleton(sample.substr(0, sample.find("\"pic_list\""))));
  EXPECT_EQ(mine.substr(mine.rfind("}},\"has_sep\"")),
            sample.substr(sample.rfind("}},\"has_sep\"")));

  Route list;
  list.tid = "4718203956";
  list.pn = list.ps = 1;
  list.rn = list.pe = 200;
  std::string list_mine = ListAnswer(index, kRealHosts, list).body;
  std::string list_sample = Sample("list-p1.gbk.json");
  auto first_entry = [](const std::string& s) {
    size_t at = s.find("[{");
    return s.substr(at + 1, s.find("},{", at) - at);
  };
  EXPECT_EQ(Skeleton(first_entry(list_mine)), Skeleton(first_entry(list_sample)));
  auto envelope = [](std::string s) {
    return Skeleton(s.erase(s.find("[{"), s.find("}],") + 2 - s.find("[{")));
  };
  EXPECT_EQ(envelope(list_mine), envelope(list_sample));
}

// Each way a service reshapes its JSON answers moves or retypes exactly the
// member it names, wherever it sits, and leaves the answer whole: it still
// parses, and every picture is still there. The texts hold GBK trail bytes
// 0x5C and 0x7C and escaped quotes and backslashes, which the pass must step
// over.
TEST(StandInAnswers, StyleChangesReshapeTheNamedMemberAndKeepTheRest) {
  DataSet data = SampleBoard();
  data.threads[0].title += "禱";  // in the HTML, before an escaped quote
  for (Picture& p : data.threads[0].pictures) p.descr = "禱\"東\\";
  enum Which { kAlbums, kGuide, kList };
  auto answer = [](const DataSet& d, Which which) {
    DataIndex index(&d);
    Route route;
    route.tid = d.threads[0].tid;
    if (which == kAlbums)
      return AlbumListPage(index, kRealHosts, AlbumRoute(Gbk("纸飞机"), 1)).body;
    if (which == kGuide) {
      route.next = 50;
      return GuideAnswer(index, kRealHosts, route).body;
    }
    route.pn = route.ps = 1;
    route.rn = route.pe = 200;
    return ListAnswer(index, kRealHosts, route).body;
  };
  using Kind = json::JsonKind;
  struct Case {
    const char* what;
    Which which;
    std::function<void(AnswerStyle*)> change;
    const char* before;   // a member of the unchanged answer
    const char* after;    // where the changed answer has it
    Kind kind;            // and of which kind
    const char* want;     // its printed text there, unquoted; null: as before
    const char* entries;  // where the changed answer has its pictures
  } cases[] = {
      {"rename", kList,
       [](AnswerStyle* s) {
         s->renamed_members = {{"pic_id", "picture_id"}};
       },
       "data.pic_list[-1].pic_id", "data.pic_list[-1].picture_id", Kind::kString, nullptr,
       "data.pic_list"},
      {"nest an object", kGuide,
       [](AnswerStyle* s) {
         s->nested_members = {{"pic_list", "pictures"}};
       },
       "data.pic_list", "data.pictures.pic_list", Kind::kObject, nullptr, "data.pictures.pic_list"},
      {"nest an array", kList,
       [](AnswerStyle* s) {
         s->nested_members = {{"pic_list", "pictures"}};
       },
       "data.pic_list", "data.pictures.pic_list", Kind::kArray, nullptr, "data.pictures.pic_list"},
      {"nest a string", kAlbums,
       [](AnswerStyle* s) {
         s->nested_members = {{"catalog_detail_list_html", "catalog"}};
       },
       "data.catalog_detail_list_html", "data.catalog.catalog_detail_list_html", Kind::kString,
       nullptr, nullptr},
      {"retype string to number", kGuide,
       [](AnswerStyle* s) {
         s->retyped_members = {"post_id", "id"};
       },
       "data.pic_list.#48.post_id", "data.pic_list.#48.post_id", Kind::kInt64, nullptr,
       "data.pic_list"},
      {"retype leaves a string of other bytes", kGuide,
       [](AnswerStyle* s) {
         s->retyped_members = {"post_id", "id"};
       },
       "data.pic_list.#1.img.original.id", "data.pic_list.#1.img.original.id", Kind::kString,
       nullptr, "data.pic_list"},
      {"retype number to string", kGuide,
       [](AnswerStyle* s) { s->retyped_members = {"pic_amount"}; }, "data.pic_amount",
       "data.pic_amount", Kind::kString, nullptr, "data.pic_list"},
      {"rename, then nest, then retype", kGuide,
       [](AnswerStyle* s) {
         s->renamed_members = {{"pic_amount", "amount"}};
         s->nested_members = {{"amount", "counts"}};
         s->retyped_members = {"amount"};
       },
       "data.pic_amount", "data.counts.amount", Kind::kString, nullptr, "data.pic_list"},
      {"wall_type h", kList, [](AnswerStyle* s) { s->list_wall_type = "h"; }, "data.wall_type",
       "data.wall_type", Kind::kString, "h", "data.pic_list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DataSet changed = data;
    c.change(&changed.style);
    json::JsonHandle plain, reshaped;
    ASSERT_TRUE(json::JsonParse(plain, answer(data, c.which)));
    ASSERT_TRUE(json::JsonParse(reshaped, answer(changed, c.which)));
    json::JsonHandle value = At(reshaped, c.after);
    EXPECT_EQ(value.kind(), c.kind);
    EXPECT_EQ(Unquoted(json::JsonToText(value)),
              c.want ? c.want : Unquoted(json::JsonToText(At(plain, c.before))));
    if (std::string(c.before) != c.after) {
      EXPECT_TRUE(At(reshaped, c.before).empty());
    }
    EXPECT_EQ(json::JsonToText(At(reshaped, "no")), "0");
    if (c.entries) {
      EXPECT_EQ(Entries(At(plain, "data.pic_list")), 48);
      EXPECT_EQ(Entries(At(reshaped, c.entries)), 48);
    }
  }
}

TEST(StandInAnswers, JsonStringsTakeTheServicesTwoForms) {
  struct Case {
    std::string utf8;
    JsonText form;
    bool escape_slashes;
    std::string wire;
  } cases[] = {
      // The samples: a picture-list description in GBK, a guide one escaped.
      {"\"纸飞机\"试飞 & 回收", JsonText::kGbk, false,
       "\"\\\"" + Gbk("纸飞机") + "\\\"" + Gbk("试飞 & 回收") + "\""},
      {"纸飞机试飞", JsonText::kEscaped, false,
       "\"\\u7eb8\\u98de\\u673a\\u8bd5\\u98de\""},
      // 禱 ends in byte 0x5C and 東 in 0x7C: copied whole, never escaped.
      {"禱東", JsonText::kGbk, false, "\"" + Gbk("禱東") + "\""},
      {"a\\b/c\x01\r\n\t\x7f", JsonText::kGbk, false,
       "\"a\\\\b/c\\u0001\\r\\n\\t\\u007f\""},
      {"http://h/p", JsonText::kEscaped, true, "\"http:\\/\\/h\\/p\""},
      {"😀", JsonText::kEscaped, false, "\"\\ud83d\\ude00\""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(JsonString(c.utf8, c.form, c.escape_slashes), c.wire) << c.utf8;
  EXPECT_EQ(Gbk("禱").back(), '\\');
  EXPECT_EQ(Gbk("東").back(), '|');
}

TEST(StandInAnswers, PagesCarryTheBoardAddressAndTitlesInTheirCharset) {
  for (const std::string charset : {"utf-8", "gbk"}) {
    SCOPED_TRACE(charset);
    DataSet data = SampleBoard();
    data.style.page_charset = charset;
    DataIndex index(&data);
    Answer thread = ThreadPage(index, kRealHosts, "4718203956");
    Answer board = BoardPage(index, kRealHosts, Gbk("纸飞机"));
    std::string page = charset == "gbk" ? platform::ToUtf8(thread.body) : thread.body;
    std::string furl = charset == "gbk"
                           ? "tieba.baidu.com/f?kw=%D6%BD%B7%C9%BB%FA"
                           : "tieba.baidu.com/f?kw=%E7%BA%B8%E9%A3%9E%E6%9C%BA&ie=utf-8";
    EXPECT_NE(page.find("<meta furl=\"" + furl + "\" fname=\"纸飞机\">"),
              std::string::npos);
    EXPECT_NE(page.find("title: \"春日散步\","), std::string::npos);
    EXPECT_NE(page.find("<title>春日散步_纸飞机吧_百度贴吧</title>"), std::string::npos);
    std::string board_page = charset == "gbk" ? platform::ToUtf8(board.body) : board.body;
    EXPECT_NE(board_page.find("<title>纸飞机吧_百度贴吧</title>"), std::string::npos);
    EXPECT_NE(board.content_type.find(charset == "gbk" ? "GBK" : "UTF-8"),
              std::string::npos);
  }
  DataSet data = SampleBoard();
  DataIndex index(&data);
  EXPECT_NE(BoardPage(index, kRealHosts, Gbk("别的吧"))
                .body.find("<title>百度贴吧_别的吧</title>"),
            std::string::npos);
  EXPECT_EQ(ThreadPage(index, kRealHosts, "1").status, 404);
  data.style.newest_version = "3";
  EXPECT_NE(VersionPage(data).body.find("#tieba@@3#tieba"), std::string::npos);
}

}  // namespace
}  // namespace standin
