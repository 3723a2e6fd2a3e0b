// The stand-in answering as the service does today (--today PARTS): each
// part on the wire, the picture page's sign and windows, the placeholders'
// real dimensions, the rate-limit fault, the move to https, and the old
// answers where no part is on.
#include <gtest/gtest.h>

#include <cctype>
#include <regex>

#include "stand-in/certificates.h"
#include "stand-in/data_set_format.h"
#include "stand-in/picture_files.h"
#include "stand-in/texts.h"
#include "stand-in/today_answers.h"
#include "stand_in_test_support.h"

#ifdef TIEPIC_HAVE_QT_IMAGE
#include <QByteArray>
#include <QImage>
#endif

namespace standin {
namespace {

using stand_in_test::Fetch;
using stand_in_test::Fetched;
using stand_in_test::Generated;
using Fields = std::vector<std::pair<std::string, std::string>>;

const httplib::Headers kCookie = {{"Cookie", "BAIDUID=x; BDUSS=anything"}};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A picture-page form with every needed field, signed unless `sign` is given.
Fields Form(const std::string& tid, const std::string& cursor, int next, int not_see_lz) {
  return {{"_client_type", "2"}, {"_client_version", "12.58.1.0"}, {"from", "tieba"},
          {"next", std::to_string(next)}, {"not_see_lz", std::to_string(not_see_lz)},
          {"obj_type", "pb"}, {"page_name", "PB"}, {"pic_id", cursor}, {"prev", "0"},
          {"q_type", "2"}, {"subapp_type", "pc"}, {"tid", tid}};
}
Fields Signed(Fields fields) {
  fields.emplace_back("sign", FormSign(fields));
  return fields;
}

Fetched Post(int port, const Fields& fields) {
  std::string body;
  for (const auto& [key, value] : fields)
    body += (body.empty() ? "" : "&") + key + "=" + PercentEncode(value);
  httplib::Client client("127.0.0.1", port);
  Fetched fetched;
  if (auto result = client.Post("/c/f/pb/picpage", body, "application/x-www-form-urlencoded")) {
    fetched.status = result->status;
    fetched.body = result->body;
  }
  return fetched;
}

std::string ErrorCode(const std::string& body) {
  std::smatch m;
  return std::regex_search(body, m, std::regex(R"re(^\{"error_code":"([0-9]+)")re")) ? m[1].str()
                                                                                      : "none";
}

// The picture page's entries: place as written (quoted or not) and picture id.
std::vector<std::pair<std::string, std::string>> Entries(const std::string& body) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::regex entry(R"re("overall_index":("?[0-9]+"?),"post_id":"?[0-9]+"?,"is_blocked_pic":("?)0"?,"img":\{"original":\{"id":"([^"]*)","width":("?)1"?)re");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), entry);
       it != std::sregex_iterator(); ++it) {
    // Every number of an entry is written alike.
    EXPECT_EQ((*it)[2].str(), (*it)[4].str());
    EXPECT_EQ((*it)[1].str().front() == '"', (*it)[2].str() == "\"");
    entries.emplace_back((*it)[1].str(), (*it)[3].str());
  }
  return entries;
}

class StandInToday : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DataSet data = Generated("tiny");
    data.style.today = kAllTodayParts & ~static_cast<uint32_t>(TodayPart::kHttps);
    service_ = new StandIn(std::move(data));
    ASSERT_TRUE(service_->Start());
  }
  static void TearDownTestSuite() {
    delete service_;
    service_ = nullptr;
  }
  void SetUp() override {
    service_->faults().Clear();
    service_->log().Clear();
  }
  static const DataSet& data() { return service_->data(); }
  static Fetched Get(const std::string& target, const httplib::Headers& headers = {}) {
    return Fetch(service_->port(), target, headers);
  }
  static std::string Web() { return service_->hosts().web; }
  // The thread of several posters, some pictures not the starter's.
  static const Thread& Mixed() {
    for (const Thread& t : data().threads) {
      if (GuidePictures(t, true).size() < t.pictures.size() && t.pictures.size() > 4) return t;
    }
    ADD_FAILURE() << "no thread of several posters";
    return data().threads[0];
  }
  static StandIn* service_;
};
StandIn* StandInToday::service_ = nullptr;

TEST(StandInTodayParts, ParseFromTheOptionAndTheStyleRecord) {
  const struct {
    const char* text;
    bool ok;
    TodayParts parts;
  } cases[] = {
      {"all", true, kAllTodayParts},
      {"", true, 0},
      {"thread,guide", true, static_cast<uint32_t>(TodayPart::kThread) |
                                 static_cast<uint32_t>(TodayPart::kGuide)},
      {"picpage", true, static_cast<uint32_t>(TodayPart::kPicpage)},
      {"thread,bogus", false, 0},
      {"thread,", false, 0},
      {"All", false, 0},
  };
  for (const auto& c : cases) {
    TodayParts parts = 0;
    std::string error;
    EXPECT_EQ(ParseTodayParts(c.text, &parts, &error), c.ok) << c.text;
    EXPECT_EQ(parts, c.parts) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
  std::string error;
  TodayParts parts = 0;
  ParseTodayParts("bogus", &parts, &error);
  EXPECT_TRUE(Has(error, "unknown part \"bogus\"")) << error;
  // Records add up, and a data set keeps them through its folder.
  DataSet data = Generated("tiny");
  ASSERT_TRUE(ApplyStyleRecord("today", "albums", &data.style));
  ASSERT_TRUE(ApplyStyleRecord("today", "share,https", &data.style));
  EXPECT_FALSE(ApplyStyleRecord("today", "albumz", &data.style));
  EXPECT_EQ(PrintTodayParts(data.style.today), "albums,share,https");
  const std::string folder = testing::TempDir() + "/tiepic-today-set";
  ASSERT_TRUE(WriteDataSet(data, folder, false, &error)) << error;
  std::optional<DataSet> back = ReadDataSet(folder, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->style.today, data.style.today);
}

// The two digests a client must compute alike (values from another MD5).
TEST(StandInTodayParts, DigestsAreTheAgreedOnes) {
  EXPECT_EQ(FormSign({{"tid", "1"}, {"sign", "ignored"}, {"kw", "纸飞机"}, {"pic_id", ""},
                      {"_client_type", "2"}}),
            "CB9F4862F35BFEF0478B196B572526B0");
  EXPECT_EQ(PictureAuth("8a27ab0afb3e7a1c5680d0b0b4d2ab29b2191a50"), "bc6db506501b9745");
}

TEST(StandInTodayParts, PlaceholdersAreTheJpegsTheyClaim) {
  const struct {
    Answer answer;
    int size;  // 0: any
    int width;
  } cases[] = {{PlaceholderPicture(), 3802, 200}, {LogoPicture(), 0, 238}};
  for (const auto& c : cases) {
    const std::string& body = c.answer.body;
    if (c.size) {
      EXPECT_EQ(body.size(), static_cast<size_t>(c.size));
    }
    EXPECT_EQ(c.answer.content_type, "image/jpeg");
    // A baseline frame header (SOF0) with height then width.
    const size_t sof = body.find("\xFF\xC0\x00\x0B\x08");
    ASSERT_NE(sof, std::string::npos);
    EXPECT_EQ((static_cast<unsigned char>(body[sof + 5]) << 8) |
                  static_cast<unsigned char>(body[sof + 6]), c.width);
    int width = 0, height = 0;
    ASSERT_TRUE(PictureDimensions(body, &width, &height));
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.width);
#ifdef TIEPIC_HAVE_QT_IMAGE
    QImage image;
    ASSERT_TRUE(image.loadFromData(
        QByteArray(body.data(), static_cast<qsizetype>(body.size())), "JPEG"));
    EXPECT_EQ(image.width(), c.width);
    EXPECT_EQ(image.height(), c.width);
    EXPECT_NEAR(qGray(image.pixel(c.width - 1, c.width - 1)), 128, 2);
#endif
  }
  // The dimensions of every stand-in picture format.
  for (PictureFormat format : {PictureFormat::kJpeg, PictureFormat::kPng, PictureFormat::kGif}) {
    int width = 0, height = 0;
    EXPECT_TRUE(PictureDimensions(EncodePicture(format, "ab", 1, 3000), &width, &height));
    EXPECT_EQ(width * 10 + height, 11) << FormatName(format);
  }
}

TEST_F(StandInToday, EachPartAnswersAsToday) {
  const Thread& album = *service_->index().albums()[0];
  const Picture& picture = album.pictures[0];
  const std::string kw_gbk = PercentEncode(Gbk(data().board)), kw = PercentEncode(data().board);
  const std::string list = "/photo/g/bw/picture/list?kw=" + kw_gbk +
                           "&alt=jview&rn=2&tid=" + album.tid +
                           "&pn=1&ps=1&pe=2&wall_type=v&_=0.5";
  const std::string item = "/forum/pic/item/" + picture.id + ".jpg";
  const std::string from_web = "https://" + Web() + "/p/" + album.tid;
  const std::string chrome = "Mozilla/5.0 (X11; Linux x86_64) Chrome/126.0 Safari/537.36";
  const std::string body = PictureBody(data(), picture), logo = LogoPicture().body;
  const struct {
    std::string target;
    httplib::Headers headers;
    int status;
    Interface iface;
    std::string contains;  // "=BODY" for exactly this body
  } cases[] = {
      {"/p/" + album.tid, {}, 403, Interface::kThread, "百度安全验证"},
      {"/p/" + album.tid, kCookie, 200, Interface::kThread,
       "<title>" + HtmlEscape(album.title + "_" + data().board + "吧_百度贴吧") + "</title>"},
      {"/f?kw=" + kw_gbk, {}, 403, Interface::kBoard, "百度安全验证"},
      {"/f?kw=" + kw_gbk, kCookie, 200, Interface::kBoard, "j_thread_list"},
      {"/f?tab=album&kw=" + kw, {}, 403, Interface::kAlbumTab, "百度安全验证"},
      {"/f?tab=album&kw=" + kw_gbk, kCookie, 200, Interface::kAlbumTab, "class=\"album_list\""},
      {"/photo/g?kw=" + kw_gbk + "&alt=jview&pn=1&rn=30&cat_id=all&_=1", {}, 404,
       Interface::kAlbumList, "<h1>404</h1>"},
      {"/photo/bw/picture/guide?tid=" + album.tid + "&see_lz=0&from_page=0&next=2&prev=0&pic_id=",
       {}, 200, Interface::kGuide,
       "\"has_sep\":1,\"forum\":{\"name\":" + JsonString(data().board, JsonText::kEscaped, false) +
           ",\"id\":" + std::to_string(ForumId(data())) + "}}}"},
      {list, {}, 403, Interface::kList, "百度安全验证"},
      {list, {{"User-Agent", chrome}}, 403, Interface::kList, "百度安全验证"},
      {list, {{"User-Agent", "Mozilla/4.0 (MSIE 8.0) Chrome/1"}, {"Referer", from_web}}, 403,
       Interface::kList, "百度安全验证"},
      {list, {{"User-Agent", chrome}, {"Referer", "http://other.invalid/"}}, 403,
       Interface::kList, "百度安全验证"},
      {list, {{"User-Agent", "Firefox/128.0"}, {"Referer", from_web}}, 200, Interface::kList,
       "\"total_num\":"},
      {"/f/commit/share/fnameShareApi?ie=utf-8&fname=" + kw, {}, 200, Interface::kShare,
       "{\"no\":0,\"error\":\"\",\"data\":{\"fid\":" + std::to_string(ForumId(data())) +
           ",\"can_send_pics\":1}}"},
      {"/f/commit/share/fnameShareApi?fname=nobody", {}, 200, Interface::kShare, "{\"fid\":0,"},
      {item, {}, 200, Interface::kPicture, "=" + PlaceholderPicture().body},
      {item, {{"Referer", "http://" + Web() + "/"}}, 200, Interface::kPicture, "=" + body},
      {item + "?tbpicau=" + PictureAuth(picture.id), {}, 200, Interface::kPicture, "=" + body},
      {item + "?tbpicau=" + PictureAuth(picture.id + "x"), {{"Referer", from_web}}, 200,
       Interface::kPicture, "=" + logo},
      {item + "?tbpicau=", {}, 200, Interface::kPicture, "=" + logo},
  };
  for (const auto& c : cases) {
    service_->log().Clear();
    Fetched got = Get(c.target, c.headers);
    EXPECT_EQ(got.status, c.status) << c.target;
    if (c.contains[0] == '=')
      EXPECT_TRUE(got.body == c.contains.substr(1)) << c.target << " " << got.body.size();
    else
      EXPECT_TRUE(Has(got.body, c.contains)) << c.target << "\n" << got.body.substr(0, 600);
    ASSERT_EQ(service_->log().Entries().size(), 1u);
    EXPECT_STREQ(InterfaceName(service_->log().Entries()[0].iface), InterfaceName(c.iface));
  }
  // The thread shell holds none of the old page's marks.
  const std::string shell = Get("/p/" + album.tid, kCookie).body;
  EXPECT_GT(shell.size(), 10000u);
  EXPECT_LT(shell.size(), 12000u);
  for (const char* mark : {"furl", "fname", "PageData", "title: \""})
    EXPECT_FALSE(Has(shell, mark)) << mark;
  // The album tab: every album inside the one comment, none outside it.
  const std::string tab = Get("/f?kw=" + kw + "&ie=utf-8&tab=album", kCookie).body;
  std::string albums;
  for (const Thread* a : service_->index().albums()) {
    const std::string n = std::to_string(a->pictures.size()), name = HtmlEscape(a->title);
    albums += "\n<li class=\"album_item\" data-amount=\"" + n + "\"><a href=\"/p/" + a->tid +
              "\" title=\"" + name + "\" target=\"_blank\"><span class=\"album_name\">" + name +
              "</span><span class=\"album_amount\">" + n + "张</span></a></li>";
  }
  const std::string comment =
      "<code class=\"pagelet_html\" id=\"pagelet_html_frs-list/pagelet/album\" "
      "style=\"display:none;\"><!--\n<ul class=\"album_list\">" + albums + "\n</ul>\n--></code>";
  const size_t at = tab.find(comment);
  ASSERT_NE(at, std::string::npos) << tab;
  EXPECT_FALSE(Has(tab.substr(0, at) + tab.substr(at + comment.size()), "album_item"));
}

TEST_F(StandInToday, PicpageChecksItsSignAndWindowsFromTheCursor) {
  const Thread& mixed = Mixed();
  for (int not_see_lz : {0, 1}) {
    const std::vector<const Picture*> pictures = GuidePictures(mixed, not_see_lz == 0);
    const struct {
      int cursor;  // -1: none
      int next;
    } windows[] = {{-1, 3}, {1, 2}, {static_cast<int>(pictures.size()) - 1, 5}, {0, 100}};
    for (const auto& w : windows) {
      const std::string cursor = w.cursor < 0 ? "" : pictures[w.cursor]->id;
      Fetched got = Post(service_->port(), Signed(Form(mixed.tid, cursor, w.next, not_see_lz)));
      ASSERT_EQ(ErrorCode(got.body), "0") << got.body;
      EXPECT_TRUE(Has(got.body, "\"pic_amount\":\"" + std::to_string(pictures.size()) + "\""));
      std::vector<std::pair<std::string, std::string>> want;
      for (size_t i = std::max(w.cursor, 0); i < pictures.size() && want.size() < size_t(w.next);
           ++i) {
        const std::string place = std::to_string(i + 1);
        want.emplace_back(i % 2 == 0 ? "\"" + place + "\"" : place, pictures[i]->id);
      }
      EXPECT_EQ(Entries(got.body), want) << not_see_lz << " " << w.cursor << " " << w.next;
    }
  }
  // Its addresses fetch the picture itself without a Referer.
  Fetched first = Post(service_->port(), Signed(Form(mixed.tid, "", 1, 1)));
  std::smatch url;
  ASSERT_TRUE(std::regex_search(first.body, url, std::regex("\"url\":\"http://[^/]+(/[^\"]+)\"")));
  EXPECT_TRUE(Get(url[1].str()).body == PictureBody(data(), mixed.pictures[0]));

  Fields good = Signed(Form(mixed.tid, "", 2, 1));
  Fields lower = good, changed = good, unsigned_form = Form(mixed.tid, "", 2, 1);
  for (char& c : lower.back().second) c = static_cast<char>(std::tolower(c));
  changed[3].second = "3";  // next, after signing
  Fields board = Form(mixed.tid, "", 2, 1), other_board = board, lost = board, bad_next = board;
  board.emplace_back("kw", data().board);
  board.emplace_back("forum_id", std::to_string(ForumId(data())));
  other_board.emplace_back("kw", "别的吧");
  lost.back().second = "0";  // tid
  bad_next[3].second = "101";
  const struct {
    Fields fields;
    const char* code;
  } cases[] = {
      {good, "0"},          {lower, "0"},
      {changed, "110000"},  {unsigned_form, "110000"},
      {Signed(board), "0"}, {Signed(other_board), "110003"},
      {Signed(lost), "4"},  {Signed(bad_next), "110003"},
      {Signed(Form(mixed.tid, "no-such-picture", 2, 1)), "110003"},
  };
  for (const auto& c : cases) {
    Fetched got = Post(service_->port(), c.fields);
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(ErrorCode(got.body), c.code) << got.body.substr(0, 200);
  }
  EXPECT_EQ(Post(service_->port(), changed).body, R"({"error_code":"110000","error_msg":"sign error"})");
  EXPECT_EQ(service_->log().CountStatus(Interface::kPicpage, 200), std::size(cases) + 10);
}

TEST_F(StandInToday, FaultsReachTheNewInterfaces) {
  std::string error;
  ASSERT_GE(service_->AddFault("picpage:rate-limit*2", &error), 0) << error;
  ASSERT_GE(service_->AddFault("share:status=500*1", &error), 0) << error;
  EXPECT_FALSE(ParseFault("list:rate-limit", &error));
  EXPECT_FALSE(ParseFault("all:rate-limit", &error));
  const Fields form = Signed(Form(data().threads[0].tid, "", 1, 1));
  for (const char* code : {"239103", "239103", "0"})
    EXPECT_EQ(ErrorCode(Post(service_->port(), form).body), code);
  const std::string share = "/f/commit/share/fnameShareApi?fname=x";
  EXPECT_EQ(Get(share).status, 500);
  EXPECT_EQ(Get(share).status, 200);
  const std::vector<LogEntry> log = service_->log().Entries();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].faults, "picpage:rate-limit*1");
  EXPECT_TRUE(Has(RequestLog::PrintEntry(log[0]), "\tpicpage\tPOST\t/c/f/pb/picpage\t200"));
}

TEST(StandInTodayHttps, PlainHttpToTheWebHostMovesToHttps) {
  StandInOptions options;
  const Pem pem = IssueServerCertificate(MakeAuthority("today test authority"), LoopbackNames());
  options.tls_certificate_pem = pem.certificate;
  options.tls_key_pem = pem.key;
  DataSet data = Generated("tiny");
  data.style.today = static_cast<uint32_t>(TodayPart::kHttps) |
                     static_cast<uint32_t>(TodayPart::kShare);
  StandIn service(std::move(data), options);
  ASSERT_TRUE(service.Start());
  const std::string host = "127.0.0.1:" + std::to_string(service.port());
  const std::string board = "/f?kw=" + PercentEncode(Gbk(service.data().board));
  const std::string picture =
      "/forum/pic/item/" + service.data().threads[0].pictures[0].id + ".jpg";
  for (const std::string& target :
       {board, "/p/" + service.data().threads[0].tid, std::string("/f/commit/share/fnameShareApi?fname=x")}) {
    Fetched got = Fetch(service.port(), target);
    EXPECT_EQ(got.status, 301) << target;
    // (the client hands a Location over percent-decoded)
    EXPECT_EQ(got.headers.find("Location")->second, "https://" + host + PercentDecode(target));
  }
  EXPECT_EQ(Fetch(service.port(), picture).status, 200);  // the picture host stays
  httplib::SSLClient tls("127.0.0.1", service.port());
  tls.enable_server_certificate_verification(false);
  auto result = tls.Get(board.c_str());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(service.Count(Interface::kBoard), 2u);
}

TEST(StandInTodayOff, TheNewShapesAreOldOrUnknown) {
  StandIn service(Generated("tiny"));
  ASSERT_TRUE(service.Start());
  const Thread& album = *service.index().albums()[0];
  const std::string kw = PercentEncode(Gbk(service.data().board));
  const std::string item = "/forum/pic/item/" + album.pictures[0].id + ".jpg";
  const std::string body = PictureBody(service.data(), album.pictures[0]);
  EXPECT_TRUE(Has(Fetch(service.port(), "/f?kw=" + kw + "&tab=album").body, "j_thread_list"));
  EXPECT_TRUE(Has(Fetch(service.port(), "/p/" + album.tid).body, "PageData.thread"));
  EXPECT_EQ(Fetch(service.port(), "/f/commit/share/fnameShareApi?fname=" + kw).status, 404);
  EXPECT_EQ(Post(service.port(), Signed(Form(album.tid, "", 1, 1))).status, 404);
  EXPECT_EQ(Fetch(service.port(), "/photo/bw/picture/guide?tid=" + album.tid +
                                      "&see_lz=0&from_page=0&next=2&prev=0&pic_id=")
                .status,
            404);
  EXPECT_TRUE(Fetch(service.port(), item).body == body);
  EXPECT_TRUE(Fetch(service.port(), item + "?tbpicau=bad").body == body);
  EXPECT_EQ(service.Count(Interface::kBoard), 1u);
  EXPECT_EQ(service.Count(Interface::kUnknown), 3u);
}

}  // namespace
}  // namespace standin
