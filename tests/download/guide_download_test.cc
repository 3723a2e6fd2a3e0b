// Thread downloads through the picture guide: counts around the page size,
// the cursor and the page-boundary duplicate, formats, descriptions as names,
// the starter-only option, and the folder names.
#include "download_test_support.h"

namespace download {
namespace {

using standin::Interface;

// A thread whose pictures come through the guide (has_sep null).
standin::Thread GuideThread(const std::string& tid, const std::string& title, int count) {
  standin::Thread t{.tid = tid, .title = title, .album = false, .has_sep = "null"};
  t.pictures = discovery::Pictures(tid, count);
  return t;
}

class GuideDownloadTest : public DownloadTest {
 protected:
  // Serves `threads` on a board without albums and downloads thread `tid`.
  void DownloadThread(const std::string& tid) {
    Find(service_->ThreadUrl(tid));
    ASSERT_EQ(Rows().size(), 1u);
    frame_.ListSetTick(mw::超级列表框1, 0, frame::kTicked);  // a count of 0 leaves it unticked
    service_->log().Clear();
    Download();
  }
  void Serve(std::vector<standin::Thread> threads, int guide_next_cap = 1000,
             std::string img_format = "") {
    standin::DataSet data;
    data.board = "纸飞机";
    data.style.guide_next_cap = guide_next_cap;
    data.style.guide_img_format = std::move(img_format);
    data.threads = std::move(threads);
    RetrievalTest::Serve(std::move(data));
  }
};

TEST_F(GuideDownloadTest, CountsAroundThePageSizeAskForTheRightPages) {
  struct Case {
    int count;
    size_t guide_requests;
  } cases[] = {{0, 0}, {1, 1}, {50, 1}, {51, 2}, {120, 3}};
  std::vector<standin::Thread> threads;
  for (const Case& c : cases) {
    threads.push_back(GuideThread(std::to_string(5100000000LL + c.count), "帖子", c.count));
  }
  Serve(threads);
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].count);
    fs::remove_all(save_);
    const standin::Thread& t = service_->data().threads[i];
    DownloadThread(t.tid);
    EXPECT_EQ(service_->Count(Interface::kGuide), cases[i].guide_requests);
    // Each picture is fetched once, the page-boundary one included, and saved
    // under its number. The page total of count 1 is 0, yet its picture is
    // asked for: the album is not complete.
    EXPECT_EQ(PictureRequests(), t.pictures.size());
    EXPECT_TRUE(SameFiles(SavedFiles(), Expected(t, "帖子相册_" + t.tid)));
    EXPECT_TRUE(fs::is_directory(save_ / ("帖子相册_" + t.tid)));
    EXPECT_NE(Log().find("准备下载相册：帖子\r\n\r\n"), std::string::npos);
    EXPECT_TRUE(
        Log().ends_with("---完成相册《帖子相册》下载\r\n\r\n-------全部下载完毕--------\r\n\r\n"));
  }
  // The cursor: each page after the first names the last picture handled.
  const auto guide = Targets(Interface::kGuide);
  const auto& pictures = service_->data().threads.back().pictures;
  ASSERT_EQ(guide.size(), 3u);
  EXPECT_NE(guide[0].find("&see_lz=0&from_page=0&alt=jview&next=50&prev=1&pic_id=&_="),
            std::string::npos)
      << guide[0];
  EXPECT_NE(guide[1].find("&pic_id=" + pictures[50].id + "&_="), std::string::npos) << guide[1];
  EXPECT_NE(guide[2].find("&pic_id=" + pictures[100].id + "&_="), std::string::npos) << guide[2];
}

TEST_F(GuideDownloadTest, FormatsDescriptionsAndTheStarterOnlyOption) {
  standin::Thread t = GuideThread("5200000001", "a/b:c 帖子", 4);
  t.pictures[0].format = standin::PictureFormat::kGif;
  t.pictures[1].format = standin::PictureFormat::kPng;
  t.pictures[0].descr = "海边<的>\"猫\"";
  t.pictures[1].descr = "<>|";
  t.pictures[2].descr = std::string(300, 'x');
  t.pictures[3].by_starter = false;
  Serve({t}, 1000, "number");
  frame_.SetChecked(mw::选择框_文件名, true);
  frame_.SetChecked(mw::选择框_下载帖子全部图片, false);
  DownloadThread(t.tid);
  EXPECT_NE(Targets(Interface::kGuide)[0].find("&see_lz=1&"), std::string::npos);
  const std::string folder = "abc帖子相册_5200000001/";
  const auto& served = service_->data().threads[0].pictures;
  std::map<std::string, std::string> expected = {
      {folder + "(1)海边的猫.gif", standin::PictureBody(service_->data(), served[0])},
      {folder + "(2).png", standin::PictureBody(service_->data(), served[1])},
      {folder + "(3)" + std::string(240, 'x') + ".jpg",
       standin::PictureBody(service_->data(), served[2])},
  };
  EXPECT_TRUE(SameFiles(SavedFiles(), expected));
  EXPECT_NE(Log().find("---完成相册《abc帖子相册》下载"), std::string::npos);
}

TEST_F(GuideDownloadTest, TheBytesNotTheEntryNameAPicturesFormat) {
  // The entry's format, written as a string, reads as JPEG; the first
  // picture's bytes are a GIF's and its file says so.
  standin::Thread t = GuideThread("5200000002", "帖子", 2);
  t.pictures[0].format = standin::PictureFormat::kGif;
  Serve({t}, 1000, "string");
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  DownloadThread(t.tid);
  auto expected = Expected(service_->data().threads[0], "帖子相册_5200000002");
  auto gif = expected.extract("帖子相册_5200000002/(1).jpg");
  gif.key() = "帖子相册_5200000002/(1).gif";
  expected.insert(std::move(gif));
  EXPECT_TRUE(SameFiles(SavedFiles(), expected));
}

TEST_F(GuideDownloadTest, AnEntryWithoutAnIdIsPassedOverAndAShortGuideIsAskedAgain) {
  standin::Thread t = GuideThread("5300000001", "帖子", 60);
  t.pictures[10].id = "";  // the guide lists it without an id
  // The guide answers only 20 pictures after the cursor: the page total
  // (two pages) is used up long before the album's end.
  Serve({t}, 20);
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  DownloadThread(t.tid);
  const auto files = SavedFiles();
  EXPECT_EQ(files.size(), 59u);
  EXPECT_FALSE(files.contains("帖子相册_5300000001/(11).jpg"));
  EXPECT_TRUE(files.contains("帖子相册_5300000001/(60).jpg"));
}

TEST_F(GuideDownloadTest, ASecondRunCountsEachRecordedPictureOnce) {
  Serve({GuideThread("5300000007", "帖子", 120)});
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  frame_.SetChecked(mw::选择框_下载记录, true);
  DownloadThread("5300000007");
  EXPECT_EQ(control_.tally().saved.load(), 120);
  Download();
  // The pictures that begin the second and third pages are the pages before's
  // last: skipped once, not once a page.
  EXPECT_EQ(control_.tally().skipped.load(), 120);
  EXPECT_EQ(PictureRequests(), 120u);
}

// An unread guide page is asked again around the same cursor: read then,
// it lost nothing, and the closing account says so; a walk that never gets
// past it counts that one page and the pictures it never saw.
TEST_F(GuideDownloadTest, AnUnreadGuidePageCountsOnlyWhenTheWalkNeverGetsPastIt) {
  struct Case {
    const char* fault;  // after the retrieval's request and the first page
    int64_t saved, unread_pages, not_asked;
    const char* ending;
  } cases[] = {
      {"guide:status=500*20@2", 150, 0, 0, "全部下载完毕"},
      {"guide:status=500@2", 51, 1, 99, "下载结束：99张图片未能获取，1页图片列表未能读取"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    fs::remove_all(save_);
    Serve({GuideThread("5300000009", "帖子", 150)});
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    service_->AddFault(c.fault);
    DownloadThread("5300000009");
    EXPECT_EQ(control_.tally().saved.load(), c.saved);
    EXPECT_EQ(SavedFiles().size(), static_cast<size_t>(c.saved));
    EXPECT_EQ(control_.tally().unread_pages.load(), c.unread_pages);
    EXPECT_EQ(control_.tally().not_asked.load(), c.not_asked);
    EXPECT_NE(Log().find("图片列表第2页未能读取\r\n图片列表第3页未能读取\r\n"), std::string::npos);
    EXPECT_EQ(Messages().back(), c.ending);
  }
}

TEST_F(GuideDownloadTest, AnEmptySaveFolderSavesBesideTheProgram) {
  Serve({GuideThread("5400000001", "帖子", 2)});
  frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
  frame_.SetText(mw::编辑框_保存位置, "");
  DownloadThread("5400000001");
  EXPECT_TRUE(fs::exists(folder_.path() / "帖子相册_5400000001" / "(2).jpg"));
}

// A thread of 51 pictures comes in two guide pages, the second starting
// again with the 51st. That picture fails once (a 500) and is saved when the
// second page brings it again: the closing account must not name it.
TEST_F(GuideDownloadTest, APictureSavedAtThePageBoundaryIsNotInTheClosingAccount) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread t{.tid = "5300000051", .title = "帖子", .album = false, .has_sep = "null"};
  t.pictures = discovery::Pictures(t.tid, 51);
  data.threads.push_back(t);
  RetrievalTest::Serve(std::move(data));
  Find(service_->ThreadUrl(t.tid));
  ASSERT_EQ(Rows().size(), 1u);
  frame_.ListSetTick(mw::超级列表框1, 0, frame::kTicked);
  const std::string boundary = service_->data().threads[0].pictures[50].id;
  service_->AddFault("picture/" + boundary + ":status=500*1");
  Download();
  EXPECT_EQ(SavedFiles().size(), 51u);  // the 51st is saved, at its second fetch
  EXPECT_EQ(control_.tally().Failures().size(), 0u);
  EXPECT_EQ(control_.tally().failed.load(), 0);
  EXPECT_EQ(Log().find("未能保存的图片"), std::string::npos) << Log().substr(Log().size() - 400);
}

}  // namespace
}  // namespace download
