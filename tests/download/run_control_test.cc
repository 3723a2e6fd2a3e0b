// The run's buttons, pause, continue and stop, and the faults a run must
// survive without losing a picture, keeping a cut file or leaving the save
// folder.
#include <chrono>
#include <thread>
#include <type_traits>
#include <variant>

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
  void Click(frame::ControlRef button) { frame_.DispatchEvent(button, frame::EventKey::kClicked); }
  void Serve(int pictures, const std::string& fault = "") {
    RetrievalTest::Serve(OneAlbum(pictures));
    Find(service_->BoardUrl());
    if (!fault.empty()) service_->AddFault(fault);
    service_->log().Clear();
  }
  // Answers the stop question with `answer` and every other box with OK.
  void AnswerStop(frame::DialogButton answer) {
    backend_.SetResponder({.message_box = [answer](const frame::MessageBoxRequest& box) {
      return box.caption == rt::FromUtf8("警告！") ? answer : frame::DialogButton::kOk;
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

  AnswerStop(frame::DialogButton::kCancel);
  Click(mw::按钮_结束下载);
  EXPECT_EQ(Messages().back(), "您真的要彻底结束下载么？");
  EXPECT_EQ(backend_.message_boxes().back().style & 0xF, frame::kButtonsOkCancel);
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
  AnswerStop(frame::DialogButton::kOk);
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
  AnswerStop(frame::DialogButton::kOk);
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
  AnswerStop(frame::DialogButton::kOk);
  frame_.SetChecked(mw::选择框_下载记录, true);
  Download();
  EXPECT_TRUE(SameFiles(
      SavedFiles(), Expected(service_->data().threads[0], "纸飞机吧_百度贴吧/相册_4718400000")));
}

TEST_F(RunControlTest, TheButtonsAreIdleWhenTheClosingBoxShows) {
  Serve(1);
  std::optional<Buttons> at_box;
  backend_.SetResponder({.message_box = [&](const frame::MessageBoxRequest& box) {
    if (box.text == rt::FromUtf8("全部下载完毕")) at_box = Shown();
    return frame::DialogButton::kOk;
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
  EXPECT_TRUE(SameFiles(
      SavedFiles(), Expected(service_->data().threads[0], "纸飞机吧_百度贴吧/相册_4718400000")));
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
                path.starts_with("防止重复下载数据库") || path == "配置.ini")
        << path;
  }
}

// What a run tells its front ends, event by event: one picture is skipped as
// recorded, one fails, two are saved, and the run closes with its tally.
TEST_F(RunControlTest, ARunSpeaksInEventsInTheOrderThingsHappen) {
  Serve(4);
  const auto& pictures = service_->data().threads[0].pictures;
  frame_.SetChecked(mw::选择框_下载记录, true);
  for (int i : {0, 2, 3}) service_->AddFault("picture/" + pictures[i].id + ":status=500*1");
  Download();  // records the second picture only
  ASSERT_EQ(control_.tally().saved.load(), 1);

  service_->AddFault("picture/" + pictures[2].id + ":status=500*1");
  std::vector<std::string> events;
  control_.SetObserver([&](const RunEvent& event) {
    std::visit(
        [&](const auto& e) {
          using E = std::decay_t<decltype(e)>;
          std::string line;
          if constexpr (std::is_same_v<E, RunStarted>) {
            line = "run " + rt::ToUtf8(e.numbers) + " " + std::to_string(e.albums.size());
          } else if constexpr (std::is_same_v<E, AlbumStarted>) {
            line = "album " + std::to_string(e.number) + " " + rt::ToUtf8(e.album.name);
          } else if constexpr (std::is_same_v<E, AlbumNote>) {
            line = "note " + rt::ToUtf8(e.line);
          } else if constexpr (std::is_same_v<E, BarReset>) {
            line = "bar 0/" + std::to_string(e.maximum);
          } else if constexpr (std::is_same_v<E, PictureStarted>) {
            line = "shown " + rt::ToUtf8(e.progress.label) + " " + rt::ToUtf8(e.progress.percent);
          } else if constexpr (std::is_same_v<E, PictureDone>) {
            const char* outcome[] = {"saved", "skipped", "failed", "passed"};
            line = "picture " + std::to_string(e.number) + " " +
                   outcome[static_cast<int>(e.outcome)] + " " + rt::ToUtf8(e.why + e.file) +
                   " done " +
                   std::to_string(e.figures.saved + e.figures.skipped + e.figures.failed);
          } else if constexpr (std::is_same_v<E, AlbumFinished>) {
            line = "finished " + rt::ToUtf8(e.line);
          } else if constexpr (std::is_same_v<E, RunFinished>) {
            line = "end " + std::string(e.stopped ? "stopped" : "done") + " " +
                   std::to_string(e.figures.saved) + "/" + std::to_string(e.figures.skipped) + "/" +
                   std::to_string(e.figures.failed) + " " + std::to_string(e.failures.size());
          } else {
            line = "other";
          }
          events.push_back(line);
        },
        event);
  });
  Download();
  const std::vector<std::string> expected = {
      "run 1、 1",
      "album 1 相册",
      "note 已经勾选了防止重复下载功能,已经下载的不会再次下载\r\n\r\n",
      "bar 0/4",
      "note 下载载相册:相册\r\n\r\n",
      "shown 第[1]个图片 25%",
      "picture 1 saved (1).jpg done 1",
      "shown 第[2]个图片 50%",
      "picture 2 skipped  done 2",
      "shown 第[3]个图片 75%",
      "picture 3 failed HTTP 500 done 3",
      "shown 第[4]个图片 100%",
      "picture 4 saved (4).jpg done 4",
      "finished ---完成相册《相册》下载\r\n\r\n",
      "end done 2/1/1 1",
  };
  EXPECT_EQ(events, expected);
}

// The run works from what was set when it started: a folder typed, an option
// clicked or a new retrieval during the run is for the next run.
TEST_F(RunControlTest, WhatChangesDuringARunIsForTheNextRun) {
  Serve(6, "picture:latency=40");
  Click(mw::按钮_下载选中);
  ASSERT_TRUE(ServeUntil([&] { return PictureRequests() >= 2; }));
  frame_.SetText(mw::编辑框_保存位置, "x");  // the key a user typed into the focused box
  frame_.SetChecked(mw::选择框_文件名, true);
  frame_.SetChecked(mw::选择框_下载记录, true);
  Find(service_->BoardUrl());  // a retrieval of its own, while the run goes on
  WaitForRun();
  EXPECT_TRUE(SameFiles(
      SavedFiles(), Expected(service_->data().threads[0], "纸飞机吧_百度贴吧/相册_4718400000")));
  EXPECT_FALSE(fs::exists(folder_.path() / "x"));
  EXPECT_NE(Log().find("未勾选了防止重复下载功能"), std::string::npos);

  // The next run takes them: a relative folder is taken beside the program,
  // never in the working folder, and the record spares every picture.
  service_->log().Clear();
  Download();
  EXPECT_EQ(PictureRequests(), 0u);
  EXPECT_EQ(control_.tally().skipped.load(), 6);
  EXPECT_TRUE(fs::is_directory(folder_.path() / "x" / "纸飞机吧_百度贴吧"));
}

// The stop question holds a running run still while it is open: nothing is
// asked for, written or recorded until the answer, and Cancel lets it go on.
// A stop confirmed while the worker's end is already on its way: the stop's
// line still comes before the end is shown.
TEST_F(RunControlTest, AStopJustAsTheRunEndsIsLoggedBeforeTheEnd) {
  Serve(3);
  AnswerStop(frame::DialogButton::kOk);
  int pictures = 0;
  bool stop_line_before_end = false;
  control_.SetObserver([&](const RunEvent& event) {
    if (std::holds_alternative<PictureDone>(event) && ++pictures == 3) {
      // The worker passes its last safe point and sends its end meanwhile.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      Click(mw::按钮_结束下载);
    }
    if (std::holds_alternative<RunFinished>(event))
      stop_line_before_end = Log().find("执行了结束下载") != std::string::npos;
  });
  Click(mw::按钮_下载选中);
  WaitForRun();
  EXPECT_EQ(pictures, 3);
  EXPECT_TRUE(stop_line_before_end) << Log();
  EXPECT_EQ(Shown(), kIdle);
}

TEST_F(RunControlTest, TheStopQuestionHoldsARunningRunWhileItIsOpen) {
  Serve(12, "picture:latency=20");
  using Seen = std::pair<size_t, size_t>;  // picture requests, files
  std::vector<Seen> seen;
  backend_.SetResponder({.message_box = [&](const frame::MessageBoxRequest& box) {
    if (box.caption != rt::FromUtf8("警告！")) return frame::DialogButton::kOk;
    // A picture whose writing began before the box opened lands first.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen.push_back({PictureRequests(), SavedFiles().size()});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    seen.push_back({PictureRequests(), SavedFiles().size()});
    return frame::DialogButton::kCancel;
  }});
  Click(mw::按钮_下载选中);
  ASSERT_TRUE(ServeUntil([&] { return PictureRequests() >= 3; }));
  ASSERT_EQ(Shown(), kRunning);
  Click(mw::按钮_结束下载);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], seen[0]);
  EXPECT_LT(seen[0].first, 12u);
  EXPECT_EQ(Shown(), kRunning);
  WaitForRun();
  EXPECT_EQ(SavedFiles().size(), 12u);
}

// Every wait of a run is a safe point: a stop during any of them ends the run
// within a second, leaves no file and closes the record.
class LongWaitsTest : public RunControlTest {
 protected:
  LongWaitsTest()
      : RunControlTest(DownloadPauses{.empty_page_retry_ms = 30000,
                                      .after_list_picture_ms = 30000,
                                      .refusal_first_wait_ms = 30000}) {}
};

TEST_F(LongWaitsTest, AStopDuringEachKindOfWaitEndsTheRunAtOnce) {
  struct Case {
    const char* wait;
    const char* fault;
    Interface asked;  // the wait has begun shortly after this was answered
  } cases[] = {
      {"after an empty picture-list page", "list:empty*1", Interface::kList},
      {"after a picture's request", "", Interface::kPicture},
      {"after a refusal", "picture:status=403", Interface::kPicture},
      // A stalled request is logged only once answered: its list page tells.
      {"during a picture's transfer", "picture:stall", Interface::kList},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wait);
    fs::remove_all(save_);
    service_.reset();
    Serve(3, c.fault);
    AnswerStop(frame::DialogButton::kOk);
    Click(mw::按钮_下载选中);
    ASSERT_TRUE(ServeUntil([&] { return service_->Count(c.asked) >= 1; }));
    ServeFor(200);
    const auto before = std::chrono::steady_clock::now();
    Click(mw::按钮_结束下载);
    WaitForRun(5);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_EQ(recorddb::DbOpenCount(), 0);
    EXPECT_TRUE(Log().ends_with("执行了结束下载\r\n")) << Log();
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
