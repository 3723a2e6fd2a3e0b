// Album retrieval end to end against the stand-in of the service: board and
// thread addresses, the requests each step makes, the rows, the closing
// lines, and a second press while a retrieval runs.
#include "discovery/album_retrieval.h"

#include "retrieval_test_support.h"

namespace discovery {
namespace {

using standin::Interface;

std::string Closing(int n) {
  return "温馨提示：相册列表获取完毕,共计" + std::to_string(n) + "个";
}

std::string ClosingLogLine(int n) {
  return "-----获取完毕,共计" + std::to_string(n) + "个\r\n\r\n";
}

TEST_F(RetrievalTest, BoardAlbumsArriveAsTickedRowsPageByPage) {
  struct Case {
    int albums;
    size_t album_list_requests;  // page 1 once for the total, then every page
  } cases[] = {{0, 2}, {29, 2}, {30, 3}, {31, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.albums);
    Serve(Board(c.albums));
    Find("  " + service_->BoardUrl() + "　");  // blanks, ASCII and full-width, around it
    std::vector<Row> expected;
    for (int i = 0; i < c.albums; ++i) {
      const auto& t = service_->data().threads[i];
      expected.push_back({std::to_string(i + 1), frame::kTicked, t.title,
                          std::to_string(t.pictures.size()), t.tid});
    }
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(service_->Count(Interface::kBoard), 1u);
    EXPECT_EQ(service_->Count(Interface::kAlbumList), c.album_list_requests);
    EXPECT_EQ(Caption(mw::标签_动态), Closing(c.albums));
    EXPECT_TRUE(Log().ends_with(ClosingLogLine(c.albums))) << Log();

    // Every album-list address is unique, and the pages run 1, 1, 2, ...
    const auto targets = Targets(Interface::kAlbumList);
    for (size_t i = 0; i < targets.size(); ++i) {
      const int page = i == 0 ? 1 : static_cast<int>(i);
      EXPECT_NE(targets[i].find("&alt=jview&pn=" + std::to_string(page) + "&rn=30&cat_id=all&_=0."),
                std::string::npos) << targets[i];
    }
    const AlbumSource source = discovery_.retrieval().Source();
    EXPECT_EQ(source.entered_address, rt::FromUtf8(service_->BoardUrl()));
    EXPECT_EQ(rt::ToUtf8(source.board_title), "纸飞机吧_百度贴吧");
    EXPECT_EQ(source.list_base_address,
              "http://" + shell_.state().service.web_host + "/photo/g/bw/picture/list?kw=" +
                  source.entered_address.substr(source.entered_address.find("kw=") + 3));
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(RetrievalTest, AnUntitledAlbumGetsAnUnknownNameWithTwoLetters) {
  standin::DataSet data = Board(3);
  data.threads[1].title.clear();
  Serve(std::move(data));
  Find(service_->BoardUrl());
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  const std::string prefix = "未知名称_";
  ASSERT_TRUE(rows[1].name.starts_with(prefix)) << rows[1].name;
  const std::string letters = rows[1].name.substr(prefix.size());
  ASSERT_EQ(letters.size(), 2u);
  for (char c : letters) EXPECT_TRUE(c >= 'a' && c <= 'z') << letters;
  EXPECT_EQ(rows[1].tick, frame::kTicked);
}

TEST_F(RetrievalTest, AddressesThatNameNeitherABoardNorAThreadAreExplained) {
  Serve(Board(2));
  for (const std::string address : {"   　", "http://elsewhere.test/f?kw=abc"}) {
    SCOPED_TRACE(address);
    Find(address);
    EXPECT_TRUE(Rows().empty());
    ASSERT_FALSE(Messages().empty());
    EXPECT_TRUE(Messages().back().starts_with("网址格式无法识别\r\n\r\n贴吧相册格式如下："));
    EXPECT_NE(Messages().back().find("单个帖子的网址格式如："), std::string::npos);
    EXPECT_NE(Messages().back().find("#!/l/p1"), std::string::npos);
    EXPECT_EQ(Caption(mw::标签_动态), Closing(0));
    EXPECT_TRUE(Log().ends_with(ClosingLogLine(0)));
    EXPECT_EQ(discovery_.retrieval().last_kind(), AddressKind::kUnrecognised);
  }
  EXPECT_EQ(service_->log().Entries().size(), 0u);
}

TEST_F(RetrievalTest, AnEmptyAddressIsRefusedWithoutAThread) {
  frame_.SetCurrentPage(mw::选择夹1, 1);
  Press("");
  EXPECT_FALSE(discovery_.retrieval().running());
  EXPECT_EQ(Messages(), std::vector<std::string>{"请输入网址"});
  EXPECT_EQ(frame_.Control(mw::选择夹1)->page, 0);
  EXPECT_EQ(Log(), "");
}

TEST_F(RetrievalTest, ThreadAddressesGiveOneRowFromTheGuide) {
  standin::DataSet data = Board(1);
  standin::Thread plain{.tid = "5000000001", .title = "春日散步", .album = false};
  plain.pictures = Pictures(plain.tid, 7);
  for (int i = 0; i < 7; i += 2) plain.pictures[i].by_starter = false;
  standin::Thread empty{.tid = "5000000002", .title = "空帖", .album = false};
  standin::Thread separated{.tid = "5000000003", .title = "分隔", .album = false,
                            .has_sep = "null"};
  separated.pictures = Pictures(separated.tid, 2);
  data.threads.push_back(plain);
  data.threads.push_back(empty);
  data.threads.push_back(separated);
  Serve(std::move(data));
  const std::string web = "http://" + shell_.state().service.web_host;

  struct Case {
    std::string address;
    bool all_pictures;
    Row row;
    std::string see_lz;
    std::string list_base;  // after the board keyword
  } cases[] = {
      {service_->ThreadUrl("5000000001"), true, {"1", frame::kTicked, "春日散步", "7", "5000000001"},
       "see_lz=0", "/photo/g/bw/picture/list?kw="},
      {service_->ThreadUrl("5000000001") + "#!/l/p1", false,
       {"1", frame::kTicked, "春日散步", "3", "5000000001"}, "see_lz=1",
       "/photo/g/bw/picture/list?kw="},
      {service_->ThreadUrl("5000000002"), true, {"1", frame::kUnticked, "空帖", "0", "5000000002"},
       "see_lz=0", "/photo/g/bw/picture/list?kw="},
      {service_->ThreadUrl("5000000003"), true, {"1", frame::kTicked, "分隔", "2", "5000000003"},
       "see_lz=0", "/photo/bw/picture/guide?kw="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    service_->log().Clear();
    frame_.SetChecked(mw::选择框_下载帖子全部图片, c.all_pictures);
    Find(c.address);
    EXPECT_EQ(Rows(), std::vector<Row>{c.row});
    EXPECT_EQ(service_->Count(Interface::kThread), 1u);
    const auto guide = Targets(Interface::kGuide);
    ASSERT_EQ(guide.size(), 1u);
    EXPECT_NE(guide[0].find("&ie=utf-8&fp=1&tid=" + c.row.id + "&" + c.see_lz +
                            "&from_page=0&alt=jview&next=1&prev=1&pic_id=&_=0."),
              std::string::npos) << guide[0];
    const rt::Text base = discovery_.retrieval().Source().list_base_address;
    EXPECT_TRUE(base.starts_with(web + c.list_base)) << base;
    EXPECT_EQ(Caption(mw::标签_动态), Closing(1));
  }
  // The thread path leaves the board title as it was.
  EXPECT_EQ(discovery_.retrieval().Source().board_title, "");
}

TEST_F(RetrievalTest, AGuideCountOf5000IsAskedOnceMoreFromTheFirstPicture) {
  standin::DataSet data = Board(0);
  standin::Thread big{.tid = "5000000009", .title = "大帖", .album = false};
  big.pictures = Pictures(big.tid, 5003);
  data.threads.push_back(big);
  Serve(std::move(data));
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  Find(service_->ThreadUrl("5000000009"));
  const auto guide = Targets(Interface::kGuide);
  ASSERT_EQ(guide.size(), 2u);
  EXPECT_NE(guide[1].find("&pic_id=" + service_->data().threads[0].pictures[0].id + "&_="),
            std::string::npos) << guide[1];
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", frame::kTicked, "大帖", "5003", "5000000009"}}));
}

// A thread page that names no board (empty here, as a shell page of today's
// service is for this purpose) leaves the count to the guide asked by the
// thread alone.
TEST_F(RetrievalTest, AnEmptyThreadPageStillGivesATickedRow) {
  Serve(Board(2));
  service_->AddFault("thread:empty");
  Find(service_->ThreadUrl("4718200001"));
  EXPECT_EQ(Rows(), (std::vector<Row>{{"1", frame::kTicked, "贴吧相册", "1", "4718200001"}}));
  const auto guide = Targets(Interface::kGuide);
  ASSERT_FALSE(guide.empty());
  EXPECT_EQ(guide[0].find("kw="), std::string::npos) << guide[0];
}

TEST_F(RetrievalTest, ASecondPressWhileARetrievalRunsIsRefused) {
  Serve(Board(3));
  service_->AddFault("album-list:latency=300");
  Press(service_->BoardUrl());
  ASSERT_TRUE(discovery_.retrieval().running());
  Press(service_->BoardUrl());
  EXPECT_EQ(Messages(), std::vector<std::string>{rt::ToUtf8(RetrievalBusyMessage())});
  WaitForRetrieval();
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_EQ(service_->Count(Interface::kBoard), 1u);
  // Once it has ended, the button works again.
  Find(service_->BoardUrl());
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_EQ(service_->Count(Interface::kBoard), 2u);
}

// The service's pause between album-list requests, at its real length.
class RetrievalPauseTest : public RetrievalTest {
 protected:
  RetrievalPauseTest() : RetrievalTest(RetrievalPauses{}) {}
};

TEST_F(RetrievalPauseTest, AlbumListRequestsAreASecondApart) {
  Serve(Board(0));
  Find(service_->BoardUrl());
  std::vector<double> at;
  for (const auto& e : service_->log().Entries()) {
    if (e.iface == Interface::kAlbumList) at.push_back(e.ms);
  }
  ASSERT_EQ(at.size(), 2u);
  EXPECT_GE(at[1] - at[0], 1000.0);
}

}  // namespace
}  // namespace discovery
