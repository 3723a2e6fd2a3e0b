// The stand-in through the program's own request layer, JSON object and
// regular-expression object, read the way album retrieval and the two
// picture downloads read the real service: every album back from the album
// pages, the thread page's board address and picture count, the guide's
// cursor walk, the picture list's pages, every picture byte for byte, and
// each fault as the request layer meets it.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>

#include "json/json_value.h"
#include "platform/codepage.h"
#include "platform/http_transport_curl.h"
#include "runtime/text_commands.h"
#include "stand-in/certificates.h"
#include "stand-in/pages.h"
#include "stand-in/picture_files.h"
#include "stand-in/texts.h"
#include "stand_in_test_support.h"
#include "support/temp_dir.h"
#include "web/cookie_file.h"
#include "web/refusal.h"
#include "web/regex_object.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace standin {
namespace {

using rt::Text;
using stand_in_test::Generated;

Text AsText(const rt::Bytes& bytes) {
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));  // bytes to text stop at the first zero byte
}
std::string AsBody(const rt::Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}
Text Utf8ToGbk(const rt::Bytes& bytes) {
  return platform::Convert(platform::CodePage::kUtf8, platform::CodePage::kGbk,
                           AsBody(bytes));
}
Text Without(Text text, std::string_view removed) {
  return rt::ReplaceText(text, removed, "", {}, {}, true);
}
Text Stamp() { return "&_=" + web::RandomText(); }

// The album pattern and total markers, piece by piece as album retrieval
// builds them (RQ: \\" in the pattern matches \" in the page).
const std::string kRq = "\\\\\"", kBq = "\\\"";
Text AlbumPattern() {
  return Gbk("<span class=" + kRq + "grbm_ele_pic_amount " + kRq +
             ">(.*?)<span class=" + kRq + "grbm_ele_pic_amount_letter" + kRq +
             ">张</span></span></a>" + std::string(10, ' ') + "<div class=" + kRq +
             "grbm_ele_title" + kRq + "><a hidefocus=" + kRq + "true" + kRq +
             " target=" + kRq + "_blank" + kRq + " href=" + kRq + "/p/(.*?)" + kRq +
             " title=" + kRq + "(.*?)" + kRq + ">(.*?)</a></div>");
}
const Text kTotalLeft = Gbk("<span class=" + kBq + "catalog_a_inner" + kBq +
                            ">全部<span class=" + kBq + "catalog_a_amount" + kBq + ">(");
const Text kTotalRight = ")</span></span>";

Text DigitsOnly(const Text& text) {
  web::RegexObject regex;
  regex.Search("[0-9]", text);
  Text digits;
  for (int i = 1; i <= regex.MatchCount(); ++i) digits += regex.MatchText(i);
  return digits;
}

struct AlbumRow {
  Text count, id, name;
};

// The board path of album retrieval: board title, then every album page.
std::vector<AlbumRow> ReadAlbums(const StandIn& service, Text* board_title) {
  Text page = Utf8ToGbk(web::InetRequest(service.BoardUrl()));
  *board_title = Without(
      Without(Without(Without(web::TextBetween(page, "<title>", "</title>"), "\n"), "\r"),
              " "),
      "\xA1\xA1");
  std::string web_host = service.hosts().web;
  Text album_base = rt::ReplaceText(service.BoardUrl(), web_host + "/f?",
                                    web_host + "/photo/g?", {}, {}, true);
  Text first = AsText(web::WinHttpObjectRequest(
      album_base + "&alt=jview&pn=1&rn=30&cat_id=all" + Stamp()));
  Text digits = DigitsOnly(web::TextBetween(first, kTotalLeft, kTotalRight));
  int total = digits.empty() ? 0 : std::stoi(digits);
  std::vector<AlbumRow> rows;
  for (int p = 1; p <= total / 30 + 1; ++p) {
    Text text = AsText(web::WinHttpObjectRequest(album_base +
                                                 "&alt=jview&pn=" + std::to_string(p) +
                                                 "&rn=30&cat_id=all" + Stamp()));
    web::RegexObject regex;
    EXPECT_TRUE(regex.Search(AlbumPattern(), text));
    for (int m = 1; m <= regex.MatchCount(); ++m) {
      rows.push_back(
          {regex.SubMatchText(m, 1), regex.SubMatchText(m, 2), regex.SubMatchText(m, 3)});
    }
  }
  return rows;
}

TEST(StandInEndToEnd, AlbumPagesGiveBackEveryAlbum) {
  StandIn service(Generated("small"));
  ASSERT_TRUE(service.Start());
  Text title;
  std::vector<AlbumRow> rows = ReadAlbums(service, &title);
  EXPECT_EQ(title, Gbk(service.data().board + "吧_百度贴吧"));
  const std::vector<const Thread*>& albums = service.index().albums();
  ASSERT_EQ(rows.size(), albums.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].count, std::to_string(albums[i]->pictures.size()));
    EXPECT_EQ(rows[i].id, albums[i]->tid);
    EXPECT_EQ(rows[i].name, Gbk(albums[i]->title))
        << "the full name, also when the link text is cut";
  }
  EXPECT_EQ(service.Count(Interface::kBoard), 1u);
  EXPECT_EQ(service.Count(Interface::kAlbumList), 3u)
      << "page 1 for the total, then pages 1 and 2";
}

TEST(StandInEndToEnd, HostileNamesArriveAsTheServiceEscapesThem) {
  StandIn service(Generated("small", 1, true));
  ASSERT_TRUE(service.Start());
  Text title;
  std::vector<AlbumRow> rows = ReadAlbums(service, &title);
  // Blanks go, the rest stays as the page has it: HTML references included.
  EXPECT_EQ(title, Gbk("../纸飞机\\|:*?&quot;&lt;&gt;吧_百度贴吧"));
  const std::vector<const Thread*>& albums = service.index().albums();
  ASSERT_EQ(rows.size(), albums.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    // The name as it stands in the page: an HTML attribute inside a JSON string.
    EXPECT_EQ(rows[i].name, JsonEscapeGbk(Gbk(HtmlEscape(albums[i]->title)), false)) << i;
    EXPECT_EQ(rows[i].id, JsonEscapeGbk(Gbk(HtmlEscape(albums[i]->tid)), false)) << i;
  }
}

struct GuideReading {
  Text count;
  bool has_sep_null = false;
  Text list_base;
};

// The thread path of album retrieval, from the thread page to the picture
// count and the choice of list interface.
GuideReading ReadThread(const StandIn& service, const std::string& tid,
                        const char* see_lz) {
  std::string w = service.hosts().web;
  Text page = Utf8ToGbk(web::WinHttpObjectRequest("http://" + w + "/p/" + tid));
  Text furl = web::TextBetween(page, "meta furl=\"", "\" fname=");
  Text guide_base =
      rt::ReplaceText(furl, w + "/f?kw=", "http://" + w + "/photo/bw/picture/guide?kw=");
  Text list_base =
      rt::ReplaceText(furl, w + "/f?kw=", "http://" + w + "/photo/g/bw/picture/list?kw=");
  Text query = "&ie=utf-8&fp=1&tid=" + tid + "&see_lz=" + see_lz +
               "&from_page=0&alt=jview&next=1&prev=1&pic_id=";
  Text guide = AsText(web::InetRequest(guide_base + query + Stamp()));
  GuideReading reading;
  reading.count = web::TextBetween(guide, "pic_amount\":", ",");
  if (reading.count == "5000") {
    Text first = web::TextBetween(guide, "\"id\":\"", "\",");
    reading.count =
        web::TextBetween(AsText(web::InetRequest(guide_base + query + first + Stamp())),
                         "pic_amount\":", ",");
  }
  reading.has_sep_null = rt::FindText(guide, "\"has_sep\":null", {}, true) > 0;
  reading.list_base = reading.has_sep_null ? guide_base : list_base;
  return reading;
}

TEST(StandInEndToEnd, ThreadPagesLeadToTheRightListInterface) {
  StandIn service(Generated("medium"));
  ASSERT_TRUE(service.Start());
  const DataSet& data = service.data();
  struct Case {
    const Thread& thread;
    const char* see_lz;
    size_t guide_requests;
  } cases[] = {
      {data.threads[95], "0", 2},  // 6,000 pictures: 5,000 first, then once more
      {data.threads[96], "1", 1},  // the starter's own pictures only
      {data.threads[97], "0", 1},  // no pictures
      {data.threads[0], "0", 1},   // an album
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.thread.tid);
    service.log().Clear();
    GuideReading reading = ReadThread(service, c.thread.tid, c.see_lz);
    EXPECT_EQ(reading.count,
              std::to_string(GuidePictures(c.thread, c.see_lz[0] == '1').size()));
    EXPECT_EQ(reading.has_sep_null, !c.thread.album);
    EXPECT_NE(reading.list_base.find(c.thread.album ? "/photo/g/bw/picture/list?kw="
                                                    : "/photo/bw/picture/guide?kw="),
              std::string::npos);
    EXPECT_EQ(service.Count(Interface::kThread), 1u);
    EXPECT_EQ(service.Count(Interface::kGuide), c.guide_requests);
  }
}

// The cursor-paged download's walk over one thread; every picture fetched is
// checked against the data set under the counter it is saved with.
struct Walk {
  std::set<std::string> distinct;
  size_t pages = 0, fetched = 0;
  std::vector<std::string> extensions;
};
Walk WalkGuide(const StandIn& service, const Thread& thread, bool starter_only) {
  std::vector<const Picture*> expected = GuidePictures(thread, starter_only);
  int count = static_cast<int>(expected.size());
  int pages = count <= 1 ? 0 : (count - 1 + 48) / 49;
  Text base = "http://" + service.hosts().web +
              "/photo/bw/picture/guide?kw=" + PercentEncode(service.data().board);
  Walk walk;
  Text cursor;
  int counter = 0;
  for (int p = 1; p <= pages; ++p) {
    Text page = AsText(web::InetRequest(
        base + "&ie=utf-8&fp=1&tid=" + thread.tid +
        "&see_lz=" + (starter_only ? "1" : "0") +
        "&from_page=0&alt=jview&next=50&prev=1&pic_id=" + cursor + Stamp()));
    ++walk.pages;
    json::JsonHandle handle;
    json::JsonParse(handle, page);
    while (true) {
      ++counter;
      json::JsonHandle entry = json::JsonGetMember(
          json::JsonGetMember(json::JsonGetMember(handle, "data"), "pic_list"),
          "#" + std::to_string(counter));
      if (json::JsonToText(entry) == "null") break;
      json::JsonHandle screen =
          json::JsonGetMember(json::JsonGetMember(entry, "img"), "screen");
      Text id = Without(json::JsonToText(json::JsonGetMember(screen, "id")), "\"");
      cursor = id;
      Text address = Without(
          Without(json::JsonToText(json::JsonGetMember(screen, "waterurl")), "\\"), "\"");
      Text format =
          json::JsonToText(json::JsonGetMember(json::JsonGetMember(entry, "img"), "format"));
      walk.extensions.push_back(format == "1"   ? ".jpg"
                                : format == "2" ? ".gif"
                                : format == "4" ? ".png"
                                                : ".jpg");
      std::string body = AsBody(web::WinHttpObjectRequest(address));
      ++walk.fetched;
      if (counter > count) {
        ADD_FAILURE() << "counter " << counter << " beyond " << count;
        return walk;
      }
      EXPECT_EQ(id, expected[counter - 1]->id) << "picture number " << counter;
      EXPECT_TRUE(body == PictureBody(service.data(), *expected[counter - 1]))
          << "picture " << counter;
      walk.distinct.insert(id);
    }
    --counter;  // the entry that read "null"
    --counter;  // the next page starts again at this page's last picture
  }
  return walk;
}

TEST(StandInEndToEnd, GuideWalkFetchesEveryPictureOfTheThread) {
  struct Style {
    const char* name;
    JsonText text;
    bool escape_slashes;
    const char* img_format;
  } styles[] = {
      {"as captured", JsonText::kEscaped, false, ""},
      {"GBK, escaped slashes, format under img", JsonText::kGbk, true, "number"}};
  for (const Style& style : styles) {
    SCOPED_TRACE(style.name);
    DataSet data = Generated("small");
    data.style.guide_text = style.text;
    data.style.escape_slashes = style.escape_slashes;
    data.style.guide_img_format = style.img_format;
    StandIn service(std::move(data));
    ASSERT_TRUE(service.Start());
    const Thread& mixed = service.data().threads[35];
    for (bool starter_only : {false, true}) {
      service.log().Clear();
      std::vector<const Picture*> expected = GuidePictures(mixed, starter_only);
      Walk walk = WalkGuide(service, mixed, starter_only);
      EXPECT_EQ(walk.distinct.size(), expected.size());
      EXPECT_EQ(service.Count(Interface::kGuide), walk.pages);
      EXPECT_EQ(service.Count(Interface::kPicture), walk.fetched);
      EXPECT_EQ(walk.fetched, expected.size() + walk.pages - 1)
          << "each page's last picture twice";
      // Without "format" under "img" (as captured) every picture is a ".jpg".
      std::set<std::string> extensions(walk.extensions.begin(), walk.extensions.end());
      EXPECT_EQ(extensions.size(), std::string(style.img_format).empty() ? 1u : 3u);
    }
  }
}

TEST(StandInEndToEnd, ListPagesGiveBackEveryPictureOfEveryAlbum) {
  StandIn service(Generated("small"));
  ASSERT_TRUE(service.Start());
  const DataSet& data = service.data();
  Text list_base = "http://" + service.hosts().web +
                   "/photo/g/bw/picture/list?kw=" + PercentEncode(Gbk(data.board));
  size_t list_requests = 0, pictures = 0;
  for (const Thread* album : service.index().albums()) {
    SCOPED_TRACE(album->tid);
    int total = static_cast<int>(album->pictures.size());
    if (total == 0) {  // a count of 0 is asked for first, one picture a page
      Text text =
          AsText(web::InetRequest(list_base + "&alt=jview&rn=1&tid=" + album->tid +
                                  "&pn=1&ps=0&pe=1&wall_type=v" + Stamp()));
      ++list_requests;
      EXPECT_EQ(web::TextBetween(text, "\"total_page\":", ","), "0");
    }
    for (int p = 1; p <= total / 200 + 1; ++p) {
      json::JsonHandle handle;
      json::JsonParse(handle, AsText(web::WinHttpObjectRequest(
                                list_base + "&alt=jview&rn=200&tid=" + album->tid +
                                "&pn=" + std::to_string(p) + "&ps=1&pe=200&wall_type=v" +
                                Stamp())));
      ++list_requests;
      json::JsonHandle list =
          json::JsonGetMember(json::JsonGetMember(handle, "data"), "pic_list");
      int k = json::JsonArrayLength(list);
      EXPECT_EQ(k, std::min(200, total - (p - 1) * 200));
      for (int j = 1; j <= k; ++j) {
        const Picture& picture = album->pictures[(p - 1) * 200 + j - 1];
        json::JsonHandle item = json::JsonGetItem(list, j - 1);
        Text id = Without(json::JsonToText(json::JsonGetMember(item, "pic_id")), "\"");
        Text descr = Without(json::JsonToText(json::JsonGetMember(item, "descr")), "\"");
        ASSERT_EQ(id, picture.id);
        EXPECT_EQ(descr, Gbk(picture.descr));
        std::string body = AsBody(web::WinHttpObjectRequest(
            "http://" + service.hosts().picture + "/forum/pic/item/" + id + ".jpg"));
        EXPECT_TRUE(body == PictureBody(data, picture)) << "picture " << id;
        ++pictures;
      }
    }
  }
  EXPECT_EQ(pictures, service.index().total_album_pictures());
  EXPECT_EQ(service.Count(Interface::kList), list_requests);
  EXPECT_EQ(service.Count(Interface::kPicture), pictures);
}

TEST(StandInEndToEnd, VersionPageAnnouncesTheNewestVersion) {
  DataSet data = Generated("tiny");
  data.style.newest_version = "3";
  StandIn service(std::move(data));
  ASSERT_TRUE(service.Start());
  EXPECT_EQ(web::TextBetween(AsText(web::InetRequest(service.VersionUrl())), "#tieba@@",
                             "#tieba"),
            "3");
}

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                   start)
      .count();
}

TEST(StandInEndToEnd, EachFaultAsTheRequestLayerMeetsIt) {
  DataSet data = Generated("tiny");
  for (Picture& p : data.threads[0].pictures) p.size = 100 * 1024;
  StandInOptions options;
  options.picture_host = "localhost";  // a host of its own name, on the same server
  StandIn service(std::move(data), options);
  ASSERT_TRUE(service.Start());
  auto fault = [&](const std::string& spec) {
    ASSERT_GE(service.AddFault(spec), 0) << spec;
  };
  const Thread& album = service.data().threads[0];
  const Picture& picture = album.pictures[0];
  std::string url = OriginalUrl(service.hosts(), picture.id),
              body = PictureBody(service.data(), picture);
  std::string list =
      "http://" + service.hosts().web +
      "/photo/g/bw/picture/list?kw=" + PercentEncode(Gbk(service.data().board)) +
      "&alt=jview&rn=200&tid=" + album.tid + "&pn=1&ps=1&pe=200&wall_type=v" + Stamp();

  fault("list:empty*2");
  EXPECT_TRUE(web::WinHttpObjectRequest(list).empty());
  EXPECT_TRUE(web::WinHttpObjectRequest(list).empty());
  EXPECT_NE(AsBody(web::WinHttpObjectRequest(list)).find("\"pic_list\":[{"),
            std::string::npos);

  for (int code : {403, 404, 429, 500}) {
    fault("picture:status=" + std::to_string(code) + "*1");
    int status = 0;
    std::string error_page = AsBody(web::WinHttpObjectRequest(url, {.status = &status}));
    EXPECT_EQ(status, code);
    EXPECT_NE(error_page, "") << "an error page is a body like any other";
  }

  fault("list:latency=300*1");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(web::InetRequest(list).empty());
  EXPECT_GE(MsSince(start), 300);

  fault("picture:slow=30000/20*1");
  EXPECT_TRUE(AsBody(web::WinHttpObjectRequest(url)) == body);

  fault("picture:cut=1000*1");
  EXPECT_TRUE(web::WinHttpObjectRequest(url).empty())
      << "a cut body comes back empty, never short";

  fault("picture:stall=10000*1");
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(web::WinHttpObjectRequest(url, {.timeout = 1}).empty());
  EXPECT_LT(MsSince(start), 5000);

  fault("album-list:security-check*1");
  Text page = AsText(
      web::WinHttpObjectRequest(rt::ReplaceText(service.BoardUrl(), "/f?", "/photo/g?") +
                                "&alt=jview&pn=1&rn=30&cat_id=all" + Stamp()));
  EXPECT_NE(page.find("百度安全验证"), std::string::npos);
  EXPECT_EQ(web::TextBetween(page, kTotalLeft, kTotalRight), "")
      << "reads as a board of 0 albums";

  // The picture host wants the web host's address as Referer; the request
  // layer sends the picture's own address.
  fault("picture:referer");
  int status = 0;
  web::WinHttpObjectRequest(url, {.status = &status});
  EXPECT_EQ(status, 403);
  Text referer = "Referer: http://" + service.hosts().web + "/p/" + album.tid;
  EXPECT_TRUE(AsBody(web::WinHttpObjectRequest(url, {.extra_headers = &referer})) ==
              body);
  service.faults().Clear();

  // The board page sets the cookie the picture host wants: InetRequest keeps
  // it in the process's jar, a new WinHttp object starts without it.
  platform::ClearProcessCookies();
  fault("picture:cookie");
  std::string same_host = service.Url("/forum/pic/item/" + picture.id + ".jpg");
  EXPECT_FALSE(web::InetRequest(service.BoardUrl()).empty());
  EXPECT_TRUE(AsBody(web::InetRequest(same_host)) == body);
  web::WinHttpObjectRequest(same_host, {.status = &status});
  EXPECT_EQ(status, 403);
  service.faults().Clear();
  platform::ClearProcessCookies();

  service.log().Clear();
  fault("picture:redirect=2*1");
  EXPECT_TRUE(AsBody(web::WinHttpObjectRequest(url)) == body);
  EXPECT_EQ(service.Count(Interface::kPicture), 3u);
  fault("picture:redirect=loop");
  EXPECT_TRUE(web::WinHttpObjectRequest(url).empty());
  service.faults().Clear();

  const Picture& other = album.pictures[1];
  fault("picture/" + other.id + ":status=500");
  web::WinHttpObjectRequest(OriginalUrl(service.hosts(), other.id), {.status = &status});
  EXPECT_EQ(status, 500);
  EXPECT_TRUE(AsBody(web::WinHttpObjectRequest(url)) == body);
}

TEST(StandInEndToEnd, EmptyAndNonHttpPictureAddressesFetchNothing) {
  StandIn service(Generated("small", 1, true));
  ASSERT_TRUE(service.Start());
  const Thread& mixed = service.data().threads[35];
  Text guide = AsText(web::InetRequest(
      "http://" + service.hosts().web +
      "/photo/bw/picture/guide?kw=x&ie=utf-8&fp=1&tid=" + mixed.tid +
      "&see_lz=0&from_page=0&alt=jview&next=50&prev=1&pic_id=" + Stamp()));
  json::JsonHandle handle;
  ASSERT_TRUE(json::JsonParse(handle, guide));
  std::set<Text> addresses;
  for (int n = 1; n <= 51; ++n) {
    json::JsonHandle entry = json::JsonGetMember(
        json::JsonGetMember(json::JsonGetMember(handle, "data"), "pic_list"),
        "#" + std::to_string(n));
    Text address =
        Without(Without(json::JsonToText(json::JsonGetMember(
                            json::JsonGetMember(json::JsonGetMember(entry, "img"), "screen"),
                            "waterurl")),
                        "\\"),
                "\"");
    if (address.empty() || address.substr(0, 6) == "ftp://") {
      addresses.insert(address.substr(0, 6));
      EXPECT_TRUE(web::WinHttpObjectRequest(address).empty()) << address;
    }
  }
  EXPECT_EQ(addresses, (std::set<Text>{"", "ftp://"}));
}

// Every way the stand-in turns a visitor away, met through both request
// operations, is told from an answer; a redirect to the verification address
// is told by its Location when it is not followed, and by the page it leads
// to when it is.
TEST(StandInEndToEnd, RefusalsAreRecognisedThroughEitherRequestOperation) {
  StandIn service(Generated("small", 1, true));
  ASSERT_TRUE(service.Start());
  using web::Refusal;
  struct Case {
    const char* fault;  // "" for none
    bool follow;
    Refusal expected;
  } cases[] = {
      {"", true, Refusal::kNone},
      {"board:security-check", true, Refusal::kSecurityCheck},
      {"board:status=403", true, Refusal::kForbidden},
      {"board:status=429", true, Refusal::kTooManyRequests},
      {"board:status=500", true, Refusal::kNone},
      {"board:empty", true, Refusal::kNone},
      {"board:verify", true, Refusal::kSecurityCheck},
      {"board:verify", false, Refusal::kVerificationAddress},
      {"board:redirect", false, Refusal::kNone},
  };
  using Operation = rt::Bytes (*)(std::string_view, const web::RequestOptions&);
  for (Operation operation : {&web::InetRequest, &web::WinHttpObjectRequest}) {
    for (const Case& c : cases) {
      service.faults().Clear();
      std::string error;
      if (*c.fault) {
        ASSERT_GE(service.AddFault(c.fault, &error), 0) << error;
      }
      int status = 0;
      Text raw;
      const rt::Bytes body = operation(
          service.BoardUrl(),
          {.returned_headers = &raw, .status = &status, .no_redirect = !c.follow});
      const std::string text = AsBody(body);
      EXPECT_EQ(web::RecognizeRefusal({status, raw, {}, text}), c.expected)
          << c.fault << (c.follow ? "" : " (not followed)")
          << (operation == &web::InetRequest ? " InetRequest" : " WinHttpObjectRequest");
    }
  }
}

// The signed-in visitor's cookies reach the service (over https, which the
// stand-in's TLS mode answers) through both request operations, a WinHttp
// object's own session included; an expired one and one of another domain
// stay at home.
TEST(StandInEndToEnd, CookieFileCookiesGoWithEitherRequestOperation) {
  testing_support::TempDir dir;
  const std::string ca_file = (dir.path() / "ca.pem").string();
  const Pem certificate = LoopbackCertificate(ca_file);
  ASSERT_FALSE(certificate.empty());
  ASSERT_TRUE(web::SetCertificateAuthorities(ca_file));
  StandIn service(Generated("small", 1, true),
                  {.tls_certificate_pem = certificate.certificate, .tls_key_pem = certificate.key});
  ASSERT_TRUE(service.Start());
  platform::ClearProcessCookies();
  const std::string path = (dir.path() / "cookies.txt").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << "# Netscape HTTP Cookie File\r\n"
        << "127.0.0.1\tFALSE\t/\tFALSE\t0\tBDUSS\tsigned-in\r\n"
        << "127.0.0.1\tFALSE\t/\tFALSE\t1000\tOLD\tstale\n"
        << ".example.org\tTRUE\t/\tFALSE\t0\tOTHER\telsewhere\n";
  }
  const web::CookieFileResult loaded =
      web::LoadCookieFile(path, {service.hosts().web, service.hosts().picture}, 2000);
  ASSERT_EQ(loaded.status, web::CookieFileResult::Status::kLoaded);
  EXPECT_EQ(loaded.loaded, 1);
  EXPECT_EQ(loaded.expired, 1);
  EXPECT_EQ(loaded.other_hosts, 1);
  std::string error;
  ASSERT_GE(service.AddFault("album-list:cookie=BDUSS=signed-in", &error), 0) << error;
  const std::string list = service.Url("/photo/g?kw=x&alt=jview&pn=1&rn=30&cat_id=all&_=0.1");
  int status = 0;
  web::WinHttpObjectRequest(list, {.status = &status});
  EXPECT_EQ(status, 200);
  Text raw;
  web::InetRequest(list, {.returned_headers = &raw});
  EXPECT_EQ(web::StatusOfHeaders(raw), 200);
  for (const LogEntry& e : service.log().Entries()) {
    for (const auto& [name, value] : e.headers) {
      if (name != "Cookie") continue;
      EXPECT_EQ(value.find("stale"), std::string::npos) << value;
      EXPECT_EQ(value.find("elsewhere"), std::string::npos) << value;
    }
  }
  for (const LogEntry& e : service.log().Entries()) EXPECT_EQ(e.scheme, "https") << e.target;
  platform::ClearProcessCookies();
  web::WinHttpObjectRequest(list, {.status = &status});
  EXPECT_EQ(status, 403) << "without the cookie file the list is for signed-in visitors";
  web::SetCertificateAuthorities("");
}

}  // namespace
}  // namespace standin
