// The run's buttons, pause, continue and stop, and the faults a run must
// survive without losing a picture, keeping a cut file or leaving the save
// folder.
#include "download/download_run.h"

#include "download_test_support.h"
#include "recorddb/operations.h"
#include "stand-in/generator.h"

namespace download {
namespace {

using standin::Interface;

standin::DataSet OneAlbum(int pictures) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread t{.tid = "4718400000", .title = "相册"};
  t.pictures = discovery::Pictures(t.tid, pictures);
  data.threads.push_back(t);
  return data;
}

class RunControlTest : public DownloadTest {
 protected:
  using DownloadTest::DownloadTest;
  struct Buttons {
    bool run, pause, resume, stop;
    friend bool operator==(const Buttons&, const Buttons&) = default;
  };
  Buttons Shown() {
    return {frame_.Control(mw::按钮_下载选中)->visible, frame_.Control(mw::按钮_暂停线程)->visible,
            frame_.Control(mw::按钮_继续下载)->visible, frame_.Control(mw::按钮_结束下载)->visible};
  }
  void Click(rt::ControlRef button) { frame_.DispatchEvent(button, rt::EventKey::kClicked); }
  void Serve(int pictures, const std::string& fault = "") {
    RetrievalTest::Serve(OneAlbum(pictures));
    Find(service_->BoardUrl());
    if (!fault.empty()) service_->AddFault(fault);
    service_->log().Clear();
  }
  // Answers the stop question with `answer` and every other box with OK.
  void AnswerStop(rt::DialogButton answer) {
    backend_.SetResponder({.message_box = [answer](const rt::MessageBoxRequest& box) {
      return box.caption == rt::FromUtf8("警告！") ? answer : rt::DialogButton::kOk;
    }});
  }
  static constexpr Buttons kIdle{true, false, false, false};
  static constexpr Buttons kRunning{false, true, false, true};
  static constexpr Buttons kPaused{false, false, true, true};
};

TEST_F(RunControlTest, PauseHoldsTheRunAndAStopCancelledKeepsItPaused) {
  Serve(12, "picture:latency=40");
  EXPECT_EQ(Shown(), kIdle);
  Click(mw::按钮_下载选中);
  EXPECT_EQ(Shown(), kRunning);
  ASSERT_TRUE(ServeUntil([&] { return PictureRequests() >= 2; }));
  Click(mw::按钮_暂停线程);
  EXPECT_EQ(Shown(), kPaused);
  ServeFor(200);  // the picture in flight arrives; then nothing moves
  const size_t held_at = PictureRequests();
  ServeFor(300);
  EXPECT_EQ(PictureRequests(), held_at);

  AnswerStop(rt::DialogButton::kCancel);
  Click(mw::按钮_结束下载);
  EXPECT_EQ(Messages().back(), "您真的要彻底结束下载么？");
  EXPECT_EQ(backend_.message_boxes().back().style & 0xF, rt::kButtonsOkCancel);
  ServeFor(300);
  EXPECT_EQ(PictureRequests(), held_at);
  EXPECT_EQ(Shown(), kPaused);

  Click(mw::按钮_继续下载);
  EXPECT_EQ(Shown(), kRunning);
  WaitForRun();
  EXPECT_EQ(PictureRequests(), 12u);
  EXPECT_EQ(SavedFiles().size(), 12u);
  EXPECT_NE(Log().find("执行了暂停下载功能\r\n"), std::string::npos);
  EXPECT_NE(Log().find("执行了继续下载功能\r\n"), std::string::npos);
  EXPECT_TRUE(Log().ends_with("-------全部下载完毕--------\r\n\r\n"));
}

TEST_F(RunControlTest, AStopWhilePausedEndsTheRunWithoutItsClosingLines) {
  Serve(12, "picture:latency=40");
  Click(mw::按钮_下载选中);
  ASSERT_TRUE(ServeUntil([&] { return PictureRequests() >= 2; }));
  Click(mw::按钮_暂停线程);
  AnswerStop(rt::DialogButton::kOk);
  Click(mw::按钮_结束下载);
  EXPECT_EQ(Shown(), kIdle);
  WaitForRun(5);
  EXPECT_TRUE(Log().ends_with("执行了结束下载\r\n")) << Log();
  EXPECT_EQ(Log().find("全部下载完毕"), std::string::npos);
  EXPECT_NE(Caption(mw::标签_第多少张照片), "下载完成");
  EXPECT_EQ(recorddb::DbOpenCount(), 0);  // the album's record was closed
  EXPECT_LT(SavedFiles().size(), 12u);
}

TEST_F(RunControlTest, StopEndsAStalledTransferAtOnceAndLeavesNoCutFile) {
  // The third picture (100 KB) comes slowly, 100 bytes every 50 ms.
  standin::DataSet data = OneAlbum(6);
  data.threads[0].pictures[2].size = 100000;
  RetrievalTest::Serve(std::move(data));
  Find(service_->BoardUrl());
  const auto& pictures = service_->data().threads[0].pictures;
  service_->AddFault("picture/" + pictures[2].id + ":slow=100/50");
  service_->log().Clear();
  AnswerStop(rt::DialogButton::kOk);
  Click(mw::按钮_下载选中);
  ASSERT_TRUE(ServeUntil([&] { return PictureRequests() >= 3; }));
  ServeFor(200);  // part of the third picture has arrived
  const auto before = std::chrono::steady_clock::now();
  Click(mw::按钮_结束下载);
  WaitForRun(5);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  const auto files = SavedFiles();
  EXPECT_EQ(files.size(), 2u);
  for (const auto& [name, body] : files) {
    EXPECT_EQ(name.find(".tiepic-"), std::string::npos) << name;  // no temporary left
  }
  EXPECT_EQ(recorddb::DbOpenCount(), 0);

  // The next run saves the rest, whole.
  service_->faults().Clear();
  AnswerStop(rt::DialogButton::kOk);
  frame_.SetChecked(mw::选择框_下载记录, true);
  Download();
  EXPECT_TRUE(SameFiles(SavedFiles(), Expected(service_->data().threads[0], "纸飞机吧_百度贴吧/相册_4718400000")));
}

TEST_F(RunControlTest, TheButtonsAreIdleWhenTheClosingBoxShows) {
  Serve(1);
  std::optional<Buttons> at_box;
  backend_.SetResponder({.message_box = [&](const rt::MessageBoxRequest& box) {
    if (box.text == rt::FromUtf8("全部下载完毕")) at_box = Shown();
    return rt::DialogButton::kOk;
  }});
  Download();
  ASSERT_TRUE(at_box.has_value());
  EXPECT_EQ(*at_box, kIdle);
  EXPECT_EQ(backend_.message_boxes().back().caption, rt::FromUtf8("信息："));
}

TEST_F(RunControlTest, AFailedPictureIsNeitherSavedNorRecordedAndComesNextRun) {
  RetrievalTest::Serve(OneAlbum(5));
  Find(service_->BoardUrl());
  const auto& pictures = service_->data().threads[0].pictures;
  service_->AddFault("picture/" + pictures[1].id + ":status=500*1");
  service_->AddFault("picture/" + pictures[3].id + ":empty*1");
  frame_.SetChecked(mw::选择框_下载记录, true);
  Download();
  const std::string folder = "纸飞机吧_百度贴吧/相册_4718400000/";
  auto files = SavedFiles();
  EXPECT_EQ(files.size(), 3u);
  EXPECT_FALSE(files.contains(folder + "(2).jpg"));
  EXPECT_FALSE(files.contains(folder + "(4).jpg"));
  EXPECT_EQ(control_.tally().failed.load(), 2);
  EXPECT_NE(Log().find("图片(2)未能保存[HTTP 500]：" + pictures[1].id), std::string::npos) << Log();
  EXPECT_NE(Log().find("图片(4)未能保存[内容为空]：" + pictures[3].id), std::string::npos);

  service_->log().Clear();
  Download();
  EXPECT_EQ(PictureRequests(), 2u);  // only the two that failed
  EXPECT_EQ(control_.tally().failed.load(), 0);
  EXPECT_TRUE(SameFiles(SavedFiles(), Expected(service_->data().threads[0], "纸飞机吧_百度贴吧/相册_4718400000")));
}

TEST_F(RunControlTest, HostileNamesAndIdsStayInsideTheSaveFolder) {
  std::string error;
  auto data = standin::GenerateDataSet({.seed = 7, .size = "tiny", .hostile = true}, &error);
  ASSERT_TRUE(data) << error;
  // The save folder lies three levels down, so that a name climbing out of
  // it would still land inside the test's own folder.
  frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8((folder_.path() / "a/b/保存").string()));
  RetrievalTest::Serve(std::move(*data));
  Find(service_->BoardUrl());
  frame_.SetChecked(mw::选择框_文件名, true);
  Download();
  EXPECT_GT(control_.tally().saved.load(), 0);
  for (const auto& e : fs::recursive_directory_iterator(folder_.path())) {
    const std::string path = fs::relative(e.path(), folder_.path()).string();
    EXPECT_TRUE(path == "a" || path == "a/b" || path.starts_with("a/b/保存") ||
                path.starts_with("防止重复下载数据库") || path == "配置.ini") << path;
  }
}

// The service's waits at their real lengths.
class RealWaitsTest : public RunControlTest {
 protected:
  RealWaitsTest() : RunControlTest(DownloadPauses{}) {}
};

TEST_F(RealWaitsTest, AnEmptyPageIsAskedAgainAfterTwoSecondsAndPicturesComeATenthApart) {
  Serve(3, "list:empty*1");
  Download();
  std::vector<double> pages, pictures;
  for (const auto& e : service_->log().Entries()) {
    if (e.iface == Interface::kList) pages.push_back(e.ms);
    if (e.iface == Interface::kPicture) pictures.push_back(e.ms);
  }
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_GE(pages[1] - pages[0], 2000.0);
  ASSERT_EQ(pictures.size(), 3u);
  EXPECT_GE(pictures[1] - pictures[0], 100.0);
  EXPECT_GE(pictures[2] - pictures[1], 100.0);
  EXPECT_EQ(SavedFiles().size(), 3u);
}

}  // namespace
}  // namespace download
