// The service as public reports say it answers by today, end to end: a
// board whose album list is retired, a picture list that wants a browser, a
// thread page without its board, the client's signed picture page and the
// picture hosts' placeholders. Each album reaches the same folder and files
// whichever interface lists it, so a second run through another one adds
// nothing; a placeholder is never saved or recorded, and comes right once
// the picture does.
#include "download_test_support.h"

#include "discovery/newer_interfaces.h"
#include "download/picture_io.h"
#include "stand-in/today.h"

namespace download {
namespace {

using standin::Interface;
using standin::TodayPart;

constexpr standin::TodayParts Parts(std::initializer_list<TodayPart> parts) {
  standin::TodayParts all = 0;
  for (const TodayPart part : parts) all |= static_cast<standin::TodayParts>(part);
  return all;
}

class TodayDownloadTest : public DownloadTest {
 protected:
  TodayDownloadTest()
      : DownloadTest({.empty_page_retry_ms = 0, .after_list_picture_ms = 0, .refusal_first_wait_ms = 10}) {}

  // Serves a board "纸飞机" of three albums (of 1, 2 and 3 pictures, the
  // third's second by another poster, which the list lists too) and an
  // empty fourth, and a thread that is no album (4 pictures, the second by
  // another poster), as `parts` of today's service answer.
  void ServeToday(standin::TodayParts parts) {
    standin::DataSet data;
    data.board = "纸飞机";
    for (int i = 0; i < 3; ++i) {
      const std::string tid = std::to_string(5400000001LL + i);
      data.threads.push_back({.tid = tid, .title = "相册" + std::to_string(i + 1),
                              .pictures = discovery::Pictures(tid, i + 1)});
    }
    data.threads[2].pictures[1].by_starter = false;
    data.threads.push_back({.tid = "5400000004", .title = "空相册"});
    standin::Thread thread{.tid = "5400000009", .title = "帖子", .album = false, .has_sep = "null"};
    thread.pictures = discovery::Pictures(thread.tid, 4);
    thread.pictures[1].by_starter = false;
    for (size_t i = 0; i < thread.pictures.size(); ++i)
      thread.pictures[i].descr = "第" + std::to_string(i + 1) + "张";
    data.threads.push_back(std::move(thread));
    data.style.today = parts;
    Serve(std::move(data));
  }

  // Downloads every row with the album order `order` ("" keeps the
  // profile's) and returns the files saved so far.
  std::map<std::string, std::string> DownloadWith(const std::string& album_order,
                                                  const std::string& thread_order = "") {
    if (!album_order.empty()) shell_.state().profile.order_album = album_order;
    if (!thread_order.empty()) shell_.state().profile.order_thread = thread_order;
    frame_.SetText(mw::编辑框_操作记录, "");
    Download();
    return SavedFiles();
  }

  const standin::Thread& Thread(const std::string& tid) { return *service_->index().FindThread(tid); }
};

TEST_F(TodayDownloadTest, ABoardReachesTheSameFilesThroughEveryInterfaceAndOnce) {
  ServeToday(Parts({TodayPart::kAlbums, TodayPart::kGuide, TodayPart::kList, TodayPart::kPictures,
                    TodayPart::kPicpage, TodayPart::kShare}));
  Find(service_->BoardUrl());
  // The retired album list is told, and the album tab lists the albums.
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", frame::kTicked, "相册1", "1", "5400000001"},
                                      {"2", frame::kTicked, "相册2", "2", "5400000002"},
                                      {"3", frame::kTicked, "相册3", "3", "5400000003"},
                                      {"4", frame::kTicked, "空相册", "0", "5400000004"}}))
      << Log();
  EXPECT_NE(Log().find("相册列表接口没有答复可读的相册列表，改用贴吧相册页接口"), std::string::npos)
      << Log();
  EXPECT_FALSE(discovery_.retrieval().trouble().any());
  EXPECT_EQ(Targets(Interface::kAlbumTab).size(), 1u);

  std::map<std::string, std::string> expected;
  for (int i = 0; i < 3; ++i) {
    const standin::Thread& t = Thread(std::to_string(5400000001LL + i));
    for (auto& [name, body] : Expected(t, "纸飞机吧_百度贴吧/" + t.title + "_" + t.tid))
      expected[name] = body;
  }
  // The list wants a browser: the guide stands in for it, then (the guide
  // left out) the client's picture page, then the client's page put first;
  // then the list itself as a browser. Each run finds the last one's files
  // in the same folders and adds none, and nothing is waited for or
  // counted as refused (the empty album's total, asked of the list, too).
  struct Case {
    const char* what;
    const char* order;
    const char* agent;
    const char* told;  // the fallback's line; nullptr: none
    Interface asked;
  } cases[] = {
      {"the guide stands in", "list,guide,picpage", "old", "图片列表接口没有答复可读的图片列表，改用图片导航接口",
       Interface::kGuide},
      {"the client's page stands in", "list,picpage", "old",
       "图片列表接口没有答复可读的图片列表，改用客户端图片页接口", Interface::kPicpage},
      {"the client's page first", "picpage,list", "old", nullptr, Interface::kPicpage},
      {"the list as a browser", "list,picpage", "current", nullptr, Interface::kList},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    shell_.state().profile.list_agent = c.agent;
    service_->log().Clear();
    EXPECT_TRUE(SameFiles(DownloadWith(c.order), expected));
    EXPECT_GT(Targets(c.asked).size(), 0u);
    if (c.told) EXPECT_NE(Log().find(c.told), std::string::npos) << Log();
    EXPECT_EQ(Messages().back(), "全部下载完毕") << Log();
    // Only the first run made files; no run was counted as refused.
    if (&c != &cases[0]) EXPECT_EQ(control_.tally().added.load(), 0);
    EXPECT_EQ(control_.tally().refused.load(), 0);
  }
}

TEST_F(TodayDownloadTest, AThreadWithoutItsBoardIsListedAndReadByTheClientPage) {
  ServeToday(Parts({TodayPart::kThread, TodayPart::kGuide, TodayPart::kPictures,
                    TodayPart::kPicpage, TodayPart::kShare}));
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  Find(service_->ThreadUrl("5400000009"));
  // The shell page names no board: the guide asked by the thread alone
  // names it, and its count comes as a string.
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", frame::kTicked, "帖子", "4", "5400000009"}})) << Log();
  EXPECT_NE(Log().find("帖子页面没有给出贴吧名，改用图片导航接口"), std::string::npos) << Log();
  EXPECT_EQ(rt::ToUtf8(discovery_.retrieval().Source().board_name), "纸飞机");

  // Named by their descriptions through the guide; the client's page,
  // which gives none, finds the same files.
  frame_.SetChecked(mw::选择框_文件名, true);
  const auto described = DownloadWith("", "guide,picpage");
  EXPECT_EQ(described.size(), 4u);
  service_->log().Clear();
  EXPECT_TRUE(SameFiles(DownloadWith("", "picpage"), described));
  EXPECT_EQ(control_.tally().added.load(), 0);
  frame_.SetChecked(mw::选择框_文件名, false);
  fs::remove_all(save_);

  const standin::Thread& t = Thread("5400000009");
  const auto expected = Expected(t, "帖子相册_5400000009");
  EXPECT_TRUE(SameFiles(DownloadWith("", "guide,picpage"), expected));
  // The client's page, asked once through its rate limit, finds them all
  // and adds none; each of its requests was signed and named the board.
  fs::remove_all(folder_.path() / "防止重复下载数据库");
  service_->log().Clear();
  service_->AddFault("picpage:rate-limit*1");
  EXPECT_TRUE(SameFiles(DownloadWith("", "picpage"), expected));
  EXPECT_EQ(control_.tally().added.load(), 0);
  EXPECT_EQ(control_.tally().refused.load(), 0);
  EXPECT_NE(Log().find("客户端图片页被服务器拒绝（HTTP 429），"), std::string::npos) << Log();
  EXPECT_EQ(Messages().back(), "全部下载完毕") << Log();
  EXPECT_GE(Targets(Interface::kPicpage).size(), 2u);
  EXPECT_EQ(Targets(Interface::kShare).size(), 1u);

  // The starter's pictures only, numbered as the client's page places
  // them: the other poster's is not among them.
  fs::remove_all(save_);
  fs::remove_all(folder_.path() / "防止重复下载数据库");
  frame_.SetChecked(mw::选择框_下载帖子全部图片, false);
  standin::Thread starter = t;
  std::erase_if(starter.pictures, [](const standin::Picture& p) { return !p.by_starter; });
  EXPECT_TRUE(SameFiles(DownloadWith("", "picpage"), Expected(starter, "帖子相册_5400000009")));

  // The guide left out of every order is not asked, not even for the count.
  shell_.state().profile.order_thread_board = "page,picpage";
  shell_.state().profile.order_album = "list,picpage";
  service_->log().Clear();
  Find(service_->ThreadUrl("5400000009"));
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", frame::kTicked, "帖子", "3", "5400000009"}})) << Log();
  EXPECT_TRUE(Targets(Interface::kGuide).empty());
}

TEST_F(TodayDownloadTest, APlaceholderIsNeverSavedAndComesRightOnTheNextRun) {
  ServeToday(Parts({TodayPart::kPictures}));
  Find(service_->BoardUrl());
  ASSERT_EQ(Rows().size(), 4u);
  const std::string web_host = shell_.state().service.web_host;
  // A Referer the picture host does not take as its web host's: every
  // picture comes back as the 200x200 grey placeholder.
  shell_.state().service.web_host = "localhost:" + std::to_string(service_->port());
  EXPECT_TRUE(DownloadWith("").empty());
  EXPECT_EQ(control_.tally().saved.load(), 0);
  EXPECT_EQ(control_.tally().failed.load(), 6);
  EXPECT_NE(Log().find("占位图"), std::string::npos) << Log();
  EXPECT_NE(Messages().back(), "全部下载完毕");
  // Nothing was recorded: with the web host's Referer, every picture comes.
  shell_.state().service.web_host = web_host;
  EXPECT_EQ(DownloadWith("").size(), 6u);
  EXPECT_EQ(Messages().back(), "全部下载完毕") << Log();
}

// The two placeholders by their sizes as the picture hosts send them, and a
// real picture of those sizes where the answer declared them.
TEST(Placeholder, IsTheServicesSizeWhereAnotherWasDeclared) {
  const auto jpeg = [](int width, int height) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    bytes += std::string("\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 16);
    bytes += std::string("\xFF\xC0\x00\x0B\x08", 5);
    bytes += {static_cast<char>(height >> 8), static_cast<char>(height & 255),
              static_cast<char>(width >> 8), static_cast<char>(width & 255)};
    bytes += std::string("\x01\x01\x11\x00\xFF\xD9", 6);
    return rt::Bytes(bytes.begin(), bytes.end());
  };
  EXPECT_TRUE(IsPlaceholder(jpeg(200, 200), 1, 1));
  EXPECT_TRUE(IsPlaceholder(jpeg(238, 238), 800, 600));
  EXPECT_FALSE(IsPlaceholder(jpeg(200, 200), 200, 200));  // a picture of that size
  EXPECT_FALSE(IsPlaceholder(jpeg(200, 200), 0, 0));      // no size declared
  EXPECT_FALSE(IsPlaceholder(jpeg(201, 200), 1, 1));
  EXPECT_EQ(ImageSize(jpeg(640, 480)), (std::pair<int64_t, int64_t>{640, 480}));
}

}  // namespace
}  // namespace download
