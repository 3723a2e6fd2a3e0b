// The stand-in over plain HTTP: which request shapes it answers, the
// guide's cursor walk, the picture list's pages, the picture files, the
// request log, and every fault switch as a client sees it on the wire.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "stand-in/pages.h"
#include "stand-in/texts.h"
#include "stand_in_test_support.h"

namespace standin {
namespace {

using stand_in_test::Fetch;
using stand_in_test::Fetched;
using stand_in_test::Generated;
using stand_in_test::kStamp;

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                   start)
      .count();
}

std::string GuideTarget(const std::string& tid, int see_lz, int next,
                        const std::string& cursor) {
  return "/photo/bw/picture/guide?kw=%E7%BA%B8&ie=utf-8&fp=1&tid=" + tid +
         "&see_lz=" + std::to_string(see_lz) +
         "&from_page=0&alt=jview&next=" + std::to_string(next) +
         "&prev=1&pic_id=" + cursor + kStamp;
}

std::string ListTarget(const DataSet& data, const std::string& tid, int rn, int pn,
                       int ps, int pe) {
  return "/photo/g/bw/picture/list?kw=" + PercentEncode(Gbk(data.board)) +
         "&alt=jview&rn=" + std::to_string(rn) + "&tid=" + tid +
         "&pn=" + std::to_string(pn) + "&ps=" + std::to_string(ps) +
         "&pe=" + std::to_string(pe) + "&wall_type=v" + kStamp;
}

// The guide entries of an answer: key number and picture id, in order.
std::vector<std::pair<int, std::string>> GuideEntries(const std::string& body) {
  std::vector<std::pair<int, std::string>> entries;
  std::regex entry(R"re("#([0-9]+)":\{"img":\{"original":\{"id":"([^"]*)")re");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), entry);
       it != std::sregex_iterator(); ++it) {
    entries.emplace_back(std::stoi((*it)[1]), (*it)[2]);
  }
  return entries;
}

std::vector<std::string> ListIds(const std::string& body) {
  std::vector<std::string> ids;
  std::regex id(R"re("pic_id":"([^"]*)")re");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), id);
       it != std::sregex_iterator(); ++it) {
    ids.push_back((*it)[1]);
  }
  return ids;
}

class StandInServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = new StandIn(Generated("small"));
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
  static const Thread& album(size_t i) { return data().threads[i]; }
  static Fetched Get(const std::string& target, const httplib::Headers& headers = {},
                     int timeout_ms = 5000, bool follow = false) {
    return Fetch(service_->port(), target, headers, timeout_ms, follow);
  }
  void Fault(const std::string& spec) {
    std::string error;
    ASSERT_GE(service_->AddFault(spec, &error), 0) << error;
  }
  static std::string PicturePath(const Picture& p) {
    return "/forum/pic/item/" + p.id + ".jpg";
  }

  static StandIn* service_;
};
StandIn* StandInServer::service_ = nullptr;

TEST_F(StandInServer, AnswersExactlyTheProgramsRequestShapes) {
  std::string kw = PercentEncode(Gbk(data().board));
  std::string tid = album(0).tid, picture = album(0).pictures[0].id;
  std::string albums = "/photo/g?kw=" + kw + "&alt=jview&pn=1&rn=30&cat_id=all";
  struct Case {
    std::string target;
    int status;
    Interface iface;
  } cases[] = {
      {"/f?kw=" + kw, 200, Interface::kBoard},
      {"/f?kw=" + PercentEncode(data().board) + "&ie=utf-8", 200, Interface::kBoard},
      {"/f?ie=utf-8", 404, Interface::kUnknown},
      {albums + kStamp, 200, Interface::kAlbumList},
      {albums, 404, Interface::kUnknown},  // no cache-breaking "_"
      {"/photo/g?kw=" + kw + "&alt=json&pn=1&rn=30&cat_id=all" + kStamp, 404,
       Interface::kUnknown},
      {"/photo/g?kw=" + kw + "&alt=jview&pn=0&rn=30&cat_id=all" + kStamp, 404,
       Interface::kUnknown},
      {"/photo/g?kw=" + kw + "&alt=jview&pn=1&rn=x&cat_id=all" + kStamp, 404,
       Interface::kUnknown},
      {"/p/" + tid, 200, Interface::kThread},
      {"/p/", 404, Interface::kUnknown},
      {GuideTarget(tid, 0, 1, ""), 200, Interface::kGuide},
      {GuideTarget(tid, 2, 1, ""), 404, Interface::kUnknown},
      {"/photo/bw/picture/guide?tid=" + tid +
           "&see_lz=0&from_page=0&alt=jview&next=1&prev=1" + kStamp,
       404, Interface::kUnknown},  // no pic_id at all
      {ListTarget(data(), tid, 200, 1, 1, 200), 200, Interface::kList},
      {ListTarget(data(), tid, 201, 1, 1, 200), 404, Interface::kUnknown},
      {"/photo/g/bw/picture/list?kw=" + kw + "&alt=jview&rn=1&tid=" + tid +
           "&pn=1&ps=0&pe=1" + kStamp,
       404, Interface::kUnknown},  // no wall_type
      {"/forum/pic/item/" + picture + ".jpg", 200, Interface::kPicture},
      {"/forum/pic/item/" + picture + ".bmp", 404, Interface::kUnknown},
      {"/forum/pic/item/0000000000000000000000000000000000000000.jpg", 404,
       Interface::kPicture},
      {"/download/softzuixinv/index.html", 200, Interface::kVersion},
      {"/download/softzuixinv/bug.html", 404, Interface::kUnknown},
      {"/", 404, Interface::kUnknown},
  };
  size_t counts[kInterfaceCount] = {};
  for (const Case& c : cases) {
    EXPECT_EQ(Get(c.target).status, c.status) << c.target;
    ++counts[static_cast<int>(c.iface)];
  }
  for (int i = 0; i < kInterfaceCount; ++i) {
    EXPECT_EQ(service_->Count(static_cast<Interface>(i)), counts[i])
        << InterfaceName(static_cast<Interface>(i));
  }
  std::vector<LogEntry> log = service_->log().Entries();
  ASSERT_EQ(log.size(), std::size(cases));
  EXPECT_EQ(log[4].why, "album-list: no _");
  EXPECT_EQ(log[5].why, "album-list: bad alt=json");
}

TEST_F(StandInServer, GuideCursorWalkVisitsEveryPictureOnce) {
  const Thread& mixed = data().threads[35];  // several posters, 120 pictures
  for (int see_lz : {0, 1}) {
    SCOPED_TRACE(see_lz);
    std::vector<const Picture*> expected = GuidePictures(mixed, see_lz == 1);
    std::vector<std::string> visited;
    std::string cursor;
    for (int page = 0; page < 10 && visited.size() < expected.size(); ++page) {
      Fetched answer = Get(GuideTarget(mixed.tid, see_lz, 50, cursor));
      ASSERT_EQ(answer.status, 200);
      EXPECT_NE(
          answer.body.find("\"pic_amount\":" + std::to_string(expected.size()) + ","),
          std::string::npos);
      EXPECT_NE(answer.body.find("\"has_sep\":null}"), std::string::npos);
      auto entries = GuideEntries(answer.body);
      ASSERT_FALSE(entries.empty());
      for (auto& [key, id] : entries) {
        EXPECT_EQ(id, expected[key - 1]->id) << "keys number the whole thread";
        if (std::find(visited.begin(), visited.end(), id) == visited.end())
          visited.push_back(id);
      }
      if (!cursor.empty()) {
        EXPECT_EQ(entries[1].second, cursor)
            << "the cursor comes again, after one before it";
      }
      cursor = entries.back().second;
    }
    ASSERT_EQ(visited.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(visited[i], expected[i]->id);
  }
  // An unknown cursor is the service's parameter error.
  EXPECT_NE(Get(GuideTarget(mixed.tid, 0, 50, "feed")).body.find("\"no\":110003"),
            std::string::npos);
}

TEST(StandInServerLarge, GuideReportsAtMost5000PicturesWithoutCursor) {
  StandIn service(Generated("medium"));
  ASSERT_TRUE(service.Start());
  const Thread& big = service.data().threads[95];
  ASSERT_EQ(big.pictures.size(), 6000u);
  Fetched first = Fetch(service.port(), GuideTarget(big.tid, 0, 1, ""));
  EXPECT_NE(first.body.find("\"pic_amount\":5000,"), std::string::npos);
  EXPECT_EQ(GuideEntries(first.body).size(), 2u) << "next=1 gives the first and one more";
  Fetched second = Fetch(service.port(), GuideTarget(big.tid, 0, 1, big.pictures[0].id));
  EXPECT_NE(second.body.find("\"pic_amount\":6000,"), std::string::npos);
}

// A moved interface answers on its new path exactly as it did on the old one,
// and the old path answers 404; a redirect on the new path leads back to it.
TEST(StandInServerMoved, MovedInterfacesAnswerOnTheNewPathOnly) {
  StandInOptions options;
  options.web_host = options.picture_host = "stand-in.test:80";  // the same answers on both
  StandIn plain(Generated("tiny"), options);
  DataSet data = Generated("tiny");
  data.style.moved_paths = {{"/photo/g", "/photo/g2"},
                            {"/photo/bw/picture/guide", "/photo/bw/picture/guide2"},
                            {"/photo/g/bw/picture/list", "/photo/g/bw/picture/list2"},
                            {"/download/softzuixinv/index.html", "/download/v2.html"}};
  StandIn moved(data, options);
  ASSERT_TRUE(plain.Start());
  ASSERT_TRUE(moved.Start());
  const Thread& album = data.threads[0];
  ASSERT_GT(album.pictures.size(), 1u);
  const std::pair<std::string, Interface> cases[] = {
      {"/photo/g?kw=" + PercentEncode(Gbk(data.board)) + "&alt=jview&pn=1&rn=30&cat_id=all" +
           kStamp,
       Interface::kAlbumList},
      {GuideTarget(album.tid, 0, 50, ""), Interface::kGuide},
      {ListTarget(data, album.tid, 200, 1, 1, 200), Interface::kList},
      {"/download/softzuixinv/index.html", Interface::kVersion},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& [old_target, iface] = cases[i];
    const auto& [old_path, new_path] = data.style.moved_paths[i];
    SCOPED_TRACE(old_path);
    ASSERT_EQ(old_target.substr(0, old_target.find('?')), old_path);
    std::string new_target = new_path + old_target.substr(old_path.size());
    Fetched before = Fetch(plain.port(), old_target);
    Fetched after = Fetch(moved.port(), new_target);
    EXPECT_EQ(before.status, 200);
    EXPECT_EQ(after.status, 200);
    EXPECT_GT(after.body.size(), 100u);
    EXPECT_EQ(after.body, before.body);
    EXPECT_EQ(Fetch(moved.port(), old_target).status, 404);
    EXPECT_EQ(Fetch(plain.port(), new_target).status, 404);
    EXPECT_EQ(moved.Count(iface), 1u) << "the old path is no request of the interface";
    EXPECT_EQ(moved.log().Entries().back().why, "moved path " + old_path);
    if (iface == Interface::kList) {
      ASSERT_GE(moved.AddFault("list:redirect=2*1"), 0);
      EXPECT_EQ(Fetch(moved.port(), new_target, {}, 5000, true).body, before.body);
    }
  }
  EXPECT_EQ(moved.VersionUrl(), moved.Url("/download/v2.html"));
}

TEST_F(StandInServer, PictureListPagesCoverTheAlbum) {
  const Thread& big = album(10);
  ASSERT_GT(big.pictures.size(), 200u);
  Fetched total = Get(ListTarget(data(), big.tid, 1, 1, 0, 1));
  EXPECT_NE(
      total.body.find("\"total_page\":" + std::to_string(big.pictures.size()) + ","),
      std::string::npos);
  EXPECT_EQ(ListIds(total.body), std::vector<std::string>{big.pictures[0].id});
  std::vector<std::string> ids;
  for (int pn = 1; pn <= 3; ++pn) {
    Fetched page = Get(ListTarget(data(), big.tid, 200, pn, 1, 200));
    EXPECT_NE(
        page.body.find("\"cur_page\":" + std::to_string(pn) + ",\"page_size\":200,"),
        std::string::npos);
    for (const std::string& id : ListIds(page.body)) ids.push_back(id);
  }
  ASSERT_EQ(ids.size(), big.pictures.size());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], big.pictures[i].id);
  // Absolute windows with pn=1 reach the same pictures.
  EXPECT_EQ(ListIds(Get(ListTarget(data(), big.tid, 200, 1, 201, 400)).body).front(),
            big.pictures[200].id);
  // An ordinary thread is not an album.
  EXPECT_NE(Get(ListTarget(data(), data().threads[35].tid, 200, 1, 1, 200))
                .body.find("\"no\":2210009"),
            std::string::npos);
}

TEST_F(StandInServer, ServesEveryPictureByteForByteUnderEachAddress) {
  Hosts hosts = service_->hosts();
  size_t served = 0;
  for (const Thread& t : data().threads) {
    for (const Picture& p : t.pictures) {
      if (served % 7 == 0) {  // every address form, on a sample of pictures
        std::string expected = PictureBody(data(), p);
        for (const std::string& url :
             {OriginalUrl(hosts, p.id), ScreenUrl(hosts, p.id)}) {
          Fetched got = Get(url.substr(url.find('/', 7)));
          ASSERT_EQ(got.status, 200) << url;
          EXPECT_EQ(got.body, expected);
          EXPECT_EQ(got.headers.find("Content-Type")->second, MimeType(p.format));
        }
      }
      ++served;
    }
  }
  const Picture& p = album(0).pictures[0];
  EXPECT_EQ(Get("/forum/w=194/sign=" + PictureSign(p.id) + "/" + p.id + ".jpg").status,
            200);
  EXPECT_EQ(Get("/forum/abpic/item/" + p.id + ".jpg").status, 200);
  EXPECT_EQ(
      Get("/forum/wh%3D1024%2C768/sign=" + std::string(32, '0') + "/" + p.id + ".jpg")
          .status,
      404)
      << "a sign that is not the picture's";
}

TEST_F(StandInServer, EveryFaultActsOnTheWire) {
  const Picture& p = album(0).pictures[0];
  std::string path = PicturePath(p), body = PictureBody(data(), p);
  std::string board = "/f?kw=" + PercentEncode(Gbk(data().board));

  Fault("picture:empty*2");
  EXPECT_EQ(Get(path).body, "");
  EXPECT_EQ(Get(path).body, "");
  EXPECT_EQ(Get(path).body, body);

  for (int status : {403, 404, 429, 500}) {
    Fault("picture:status=" + std::to_string(status) + "*1");
    EXPECT_EQ(Get(path).status, status);
  }
  EXPECT_EQ(Get(path).status, 200);

  Fault("picture:latency=300*1");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Get(path).body, body);
  EXPECT_GE(MsSince(start), 300);

  Fault("picture:slow=500/40*1");  // at least one 40 ms gap per further 500 bytes
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Get(path).body, body);
  EXPECT_GE(MsSince(start), 40.0 * ((body.size() - 1) / 500));

  Fault("picture:cut=100*1");
  Fetched cut = Get(path);
  EXPECT_TRUE(cut.status == 0 || cut.body.size() < body.size())
      << "a cut body must not arrive whole";

  Fault("picture:stall=1500*1");
  EXPECT_EQ(Get(path, {}, 300).status, 0) << "nothing arrives while it stalls";

  Fault("board:security-check*1");
  EXPECT_NE(Get(board).body.find("<title>百度安全验证</title>"), std::string::npos);

  service_->faults().Clear();
  Fault("picture:referer");
  EXPECT_EQ(Get(path).status, 403);
  EXPECT_EQ(Get(path, {{"Referer", "http://" + service_->hosts().web + "/p/1"}}).status,
            200);

  service_->faults().Clear();
  Fault("picture:cookie");
  EXPECT_EQ(Get(path).status, 403);
  Fetched page = Get(board);
  EXPECT_EQ(page.headers.find("Set-Cookie")->second, "BAIDUID=stand-in; path=/");
  EXPECT_EQ(Get(path, {{"Cookie", "x=1; BAIDUID=stand-in"}}).status, 200);

  service_->faults().Clear();
  service_->log().Clear();
  Fault("picture:redirect=2*1");
  Fetched first = Get(path);
  EXPECT_EQ(first.status, 302);
  EXPECT_EQ(first.headers.find("Location")->second, service_->Url("/_hop/1" + path));
  Fault("picture:redirect=2*1");
  EXPECT_EQ(Get(path, {}, 5000, true).body, body);
  EXPECT_EQ(service_->Count(Interface::kPicture), 4u) << "302, then 302, 302, 200";
  Fault("picture:redirect=loop");
  Fetched loop = Get(path, {}, 5000, true);
  EXPECT_EQ(loop.error, httplib::Error::ExceedRedirectCount);

  service_->faults().Clear();
  const Picture& other = album(0).pictures[1];
  Fault("picture/" + PercentEncode(other.id) + ":status=500");
  EXPECT_EQ(Get(path).status, 200);
  EXPECT_EQ(Get(PicturePath(other)).status, 500);
}

TEST_F(StandInServer, StopEndsAStallAtOnce) {
  StandIn service(Generated("tiny"));
  ASSERT_TRUE(service.Start());
  ASSERT_GE(service.AddFault("thread:stall=60000"), 0);
  std::thread client(
      [&] { Fetch(service.port(), "/p/" + service.data().threads[0].tid, {}, 30000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto start = std::chrono::steady_clock::now();
  service.Stop();
  client.join();
  EXPECT_LT(MsSince(start), 5000);
}

TEST_F(StandInServer, LogsEveryRequestWithItsFacts) {
  Fault("guide:status=429*1");
  std::string target = GuideTarget(album(0).tid, 0, 50, "");
  Get(target, {{"Referer", "http://example/"}});
  std::vector<LogEntry> log = service_->log().Entries();
  ASSERT_EQ(log.size(), 1u);
  const LogEntry& e = log[0];
  EXPECT_EQ(e.method, "GET");
  EXPECT_EQ(e.target, target);
  EXPECT_EQ(e.iface, Interface::kGuide);
  EXPECT_EQ(e.status, 429);
  EXPECT_EQ(e.faults, "guide:status=429*0");
  EXPECT_GT(e.bytes, 0u);
  EXPECT_NE(std::find(e.headers.begin(), e.headers.end(),
                      std::pair<std::string, std::string>("Referer", "http://example/")),
            e.headers.end());
  EXPECT_EQ(service_->log().CountStatus(Interface::kGuide, 429), 1u);
  std::string line = RequestLog::PrintEntry(e);
  EXPECT_NE(line.find("\tguide\tGET\t" + target + "\t429\t"), std::string::npos) << line;
}

}  // namespace
}  // namespace standin
