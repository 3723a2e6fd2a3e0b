// The toolbar, the links, the find window and the program's normal end.
#include "shell/main_window.h"

#include <future>
#include <thread>

#include "shell/settings.h"
#include "shell_test_support.h"
#include "web/request_helpers.h"

namespace shell {
namespace {

using rt::operator""_gbk;
namespace mw = frame::main_window;
namespace fw = frame::find_window;

TEST_F(ShellTest, ToolbarSwitchesPagesAndChecksForUpdatesOnTheFirstVisitOnly) {
  std::promise<std::thread::id> first_on, second_on;
  std::atomic<int> checks{0};
  shell_.hooks().update_check = [&] {
    const int n = checks++;
    if (n < 2) (n == 0 ? first_on : second_on).set_value(std::this_thread::get_id());
  };
  shell_.Start();
  frame_.DispatchEvent(mw::工具条1, frame::EventKey::kToolbarClicked, mw::kToolbarSettings);
  EXPECT_EQ(frame_.Control(mw::选择夹1)->page, 1);
  EXPECT_NE(first_on.get_future().get(), std::this_thread::get_id());
  frame_.DispatchEvent(mw::工具条1, frame::EventKey::kToolbarClicked, mw::kToolbarFetch);
  EXPECT_EQ(frame_.Control(mw::选择夹1)->page, 0);
  frame_.DispatchEvent(mw::工具条1, frame::EventKey::kToolbarClicked, mw::kToolbarSettings);
  EXPECT_EQ(frame_.Control(mw::选择夹1)->page, 1);
  EXPECT_EQ(shell_.state().help_page_visits, 2);
  // The button runs the check too, also away from the UI thread: the window
  // keeps answering while the version page is awaited.
  // A press while the first check is still ending is taken by that check.
  auto second = second_on.get_future();
  for (int i = 0; i < 1000 && second.wait_for(std::chrono::milliseconds(5)) !=
                                  std::future_status::ready; ++i) {
    frame_.DispatchEvent(mw::按钮_检测更新, frame::EventKey::kClicked);
  }
  EXPECT_NE(second.get(), std::this_thread::get_id());
}

TEST_F(ShellTest, UpdateCheckThreadWritingLabelsIsServedWhileTheShellGoes) {
  auto shell = std::make_unique<Shell>(frame_);
  shell->hooks().update_check = [&] { frame_.SetCaption(mw::标签_zxbanben, "2.0"); };
  shell->Start();
  shell->ToolbarClicked(mw::kToolbarSettings);
  shell.reset();  // must not wait for the check while it waits for this thread
  EXPECT_EQ(frame_.GetText(mw::标签_zxbanben), "2.0");
}

TEST_F(ShellTest, AResponsiveWaitOnTheUiThreadRunsTheCallsOfWorkers) {
  shell_.Start();
  std::thread worker([&] { frame_.SetCaption(mw::标签_zxbanben, "2.0"); });  // waits for this thread
  web::WaitResponsive(100);
  EXPECT_EQ(frame_.GetText(mw::标签_zxbanben), "2.0");
  worker.join();
}

TEST_F(ShellTest, FeedbackAndLinkLabelsOpenTheMakersPages) {
  WriteIni("[service]\r\nversion_page=http://maker.test/download/softzuixinv/index.html\r\n");
  shell_.Start();
  frame_.DispatchEvent(mw::工具条1, frame::EventKey::kToolbarClicked, mw::kToolbarFeedback);
  frame_.DispatchEvent(mw::标签13, frame::EventKey::kLeftButtonDown);
  frame_.DispatchEvent(mw::标签5, frame::EventKey::kLeftButtonDown);
  EXPECT_EQ(backend_.opened(),
            (std::vector<rt::Text>{"http://maker.test/download/softzuixinv/bug.html",
                                   "http://maker.test/", "http://maker.test/?soft"}));
}

TEST_F(ShellTest, FindLabelLoadsTheFindWindowOnceAndThenBringsItToTheFront) {
  int finds = 0;
  shell_.hooks().find_next = [&] { ++finds; };
  shell_.Start();
  frame_.DispatchEvent(mw::标签_查找, frame::EventKey::kLeftButtonDown);
  ASSERT_TRUE(frame_.IsLoaded(fw::kId));
  frame_.SetText(fw::编辑框1, "关键字"_gbk);
  frame_.DispatchEvent(mw::标签_查找, frame::EventKey::kLeftButtonDown);
  EXPECT_EQ(backend_.brought_to_front(), 1);
  EXPECT_EQ(frame_.GetText(fw::编辑框1), "关键字"_gbk);  // the same window, not a new one
  frame_.DispatchEvent(fw::按钮_查找下一个, frame::EventKey::kClicked);
  EXPECT_EQ(finds, 1);
}

TEST_F(ShellTest, RunButtonsButDownloadAreHiddenAtStart) {
  shell_.Start();
  EXPECT_TRUE(frame_.Control(mw::按钮_下载选中)->visible);
  EXPECT_FALSE(frame_.Control(mw::按钮_暂停线程)->visible);
  EXPECT_FALSE(frame_.Control(mw::按钮_继续下载)->visible);
  EXPECT_FALSE(frame_.Control(mw::按钮_结束下载)->visible);
}

using ShellDeathTest = ShellTest;

TEST_F(ShellDeathTest, ClosingTheLastWindowEndsWithZeroAfterTheCleanup) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto program = [this] {
    shell_.hooks().cleanup = [] { fprintf(stderr, "cleanup ran\n"); };
    frame_.Post([this] { frame_.UserClosedWindow(mw::kId); });
    std::exit(shell_.Run());
  };
  EXPECT_EXIT(program(), ::testing::ExitedWithCode(0), "cleanup ran");
}

TEST_F(ShellTest, AnUpdateCheckStillRunningAfterTheCleanupReadsIntactTexts) {
  std::promise<void> ended;
  std::promise<rt::Text> read;
  shell_.hooks().update_check = [&] {
    ended.get_future().wait();
    read.set_value(shell_.state().ini_path + "|" + shell_.state().version);
  };
  shell_.Start();
  shell_.ToolbarClicked(mw::kToolbarSettings);
  frame_.Post([this] { frame_.UserClosedWindow(mw::kId); });
  EXPECT_EQ(frame_.Run(), 0);  // the end steps run the shell's cleanup
  ended.set_value();
  EXPECT_EQ(read.get_future().get(), folder_text() + "/" + IniFileName() + "|1.0");
}

}  // namespace
}  // namespace shell

namespace shell {
namespace {

namespace mw = frame::main_window;

TEST_F(ShellTest, ANewRetrievalOrRunStartsFromAnEmptyProgressRowUnlessARunGoesOn) {
  shell_.Start();
  bool running = false;
  int routines = 0;
  shell_.hooks().download_running = [&] { return running; };
  shell_.hooks().find_albums = [&] { ++routines; };
  shell_.hooks().start_download = [&] { ++routines; };
  struct Case {
    frame::ControlRef button;
    bool run_showing;  // a run goes on: its start button is hidden
    bool cleared;
  } cases[] = {
      {mw::按钮_获取相册封面, false, true},
      {mw::按钮_下载选中, false, true},
      {mw::按钮_获取相册封面, true, false},
  };
  for (const Case& c : cases) {
    frame_.SetProgressMaximum(mw::进度条1, 5);
    frame_.SetProgressPosition(mw::进度条1, 5);
    frame_.SetCaption(mw::标签_进度条比例, "100%");
    frame_.SetCaption(mw::标签_正在下载相册, "下载到第[1]个相册"_gbk);
    frame_.SetCaption(mw::标签_第多少张照片, "下载完成"_gbk);
    running = c.run_showing;
    frame_.SetVisible(mw::按钮_下载选中, !c.run_showing);
    const int before = routines;
    frame_.DispatchEvent(c.button, frame::EventKey::kClicked);
    EXPECT_EQ(routines, before + 1);
    EXPECT_EQ(frame_.Control(mw::进度条1)->position, c.cleared ? 0 : 5);
    EXPECT_EQ(frame_.GetText(mw::标签_进度条比例).empty(), c.cleared);
    EXPECT_EQ(frame_.GetText(mw::标签_正在下载相册).empty(), c.cleared);
    EXPECT_EQ(frame_.GetText(mw::标签_第多少张照片).empty(), c.cleared);
  }
}

}  // namespace
}  // namespace shell
