// The frame on the headless back end: properties, list views, events,
// loading windows, the message loop's end, message boxes and fatal errors.
#include "frame/frame.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/allocation.h"
#include "runtime/fatal.h"
#include "runtime/gbk.h"

namespace frame {

using rt::AllocationFailed;
using rt::AllocationFailureMessage;
using rt::Bytes;
using rt::FatalError;
using rt::Text;
using rt::ToUtf8;
using rt::operator""_gbk;

namespace {

namespace mw = main_window;
namespace fw = find_window;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(frame.LoadWindow(MainWindowTemplate())); }
  HeadlessBackend backend;
  Frame frame{backend};
};

TEST_F(FrameTest, ControlsStartAsTheirTemplateSaysAndKeepWrites) {
  EXPECT_EQ(frame.GetText(mw::按钮_获取相册封面), "1：获取"_gbk);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::编辑框_号码, kLeft)), 126);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::编辑框_号码, kHeight)), 30);
  EXPECT_FALSE(std::get<bool>(frame.ReadProperty(mw::按钮_暂停线程, kVisible)));
  EXPECT_TRUE(std::get<bool>(frame.ReadProperty(mw::按钮_下载选中, kVisible)));

  frame.SetText(mw::编辑框_号码, "http://x/f?kw=1");
  frame.SetChecked(mw::选择框_文件名, true);
  frame.SetVisible(mw::按钮_暂停线程, true);
  frame.WriteProperty(mw::标签_动态, kTag, Text("t"));
  EXPECT_EQ(frame.GetText(mw::编辑框_号码), "http://x/f?kw=1");
  EXPECT_TRUE(frame.IsChecked(mw::选择框_文件名));
  EXPECT_TRUE(std::get<bool>(frame.ReadProperty(mw::按钮_暂停线程, kVisible)));
  EXPECT_EQ(std::get<Text>(frame.ReadProperty(mw::标签_动态, kTag)), "t");
  // An index the kind does not have reads empty and ignores writes.
  frame.WriteProperty(mw::标签_动态, kOwn + 5, 3);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(frame.ReadProperty(mw::标签_动态, kOwn + 5)));
}

TEST_F(FrameTest, ProgressBarClampsToItsRange) {
  frame.SetProgressMaximum(mw::进度条1, 40000);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::进度条1, kMaximum)), 32767);
  frame.SetProgressPosition(mw::进度条1, -5);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::进度条1, kPosition)), 0);
  frame.SetProgressMaximum(mw::进度条1, 10);
  frame.SetProgressPosition(mw::进度条1, 11);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::进度条1, kPosition)), 10);
  frame.SetProgressPosition(mw::进度条1, 7);
  frame.SetProgressMaximum(mw::进度条1, 5);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::进度条1, kPosition)), 5);
}

TEST_F(FrameTest, TabPageAndSelectedRowIgnoreValuesOutOfRange) {
  frame.SetCurrentPage(mw::选择夹1, 1);
  frame.SetCurrentPage(mw::选择夹1, 2);
  EXPECT_EQ(frame.Control(mw::选择夹1)->page, 1);
  frame.SetSelectedRow(mw::超级列表框1, 0);  // no rows yet
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::超级列表框1, kSelectedRow)), -1);
  frame.ListAppendRow(mw::超级列表框1);
  frame.SetSelectedRow(mw::超级列表框1, 0);
  EXPECT_EQ(std::get<int32_t>(frame.ReadProperty(mw::超级列表框1, kSelectedRow)), 0);
}

TEST_F(FrameTest, ListViewRowsCellsAndTheThreeTickStates) {
  const ControlRef list = mw::超级列表框1;
  EXPECT_EQ(frame.ListAppendRow(list), 0);
  EXPECT_EQ(frame.ListAppendRow(list), 1);
  EXPECT_EQ(frame.ListRowCount(list), 2);
  frame.ListSetCell(list, 1, mw::kColumnName, "相册"_gbk);
  EXPECT_EQ(frame.ListGetCell(list, 1, mw::kColumnName), "相册"_gbk);
  EXPECT_EQ(frame.ListGetCell(list, 0, mw::kColumnName), "");
  frame.ListSetCell(list, 2, 0, "x");  // no such row
  frame.ListSetCell(list, 0, 8, "x");  // no such column
  EXPECT_EQ(frame.ListGetCell(list, 2, 0), "");
  EXPECT_EQ(frame.ListGetCell(list, 0, 8), "");

  EXPECT_EQ(frame.ListGetTick(list, 0), kUnticked);
  frame.ListSetTick(list, 0, kTicked);
  frame.ListSetTick(list, 1, 7);  // anything else: no tick box
  EXPECT_EQ(frame.ListGetTick(list, 0), kTicked);
  EXPECT_EQ(frame.ListGetTick(list, 1), kTickNone);
  EXPECT_EQ(frame.ListGetTick(list, 5), kTickNone);

  frame.ListSetColumnWidth(list, mw::kColumnCover, 0);
  frame.ListScrollIntoView(list, 1);
  EXPECT_EQ(frame.Control(list)->column_widths[mw::kColumnCover], 0);
  EXPECT_EQ(frame.Control(list)->scrolled_row, 1);
  frame.ListDeleteAll(list);
  EXPECT_EQ(frame.ListRowCount(list), 0);
  // List methods on another kind change nothing.
  EXPECT_EQ(frame.ListAppendRow(mw::编辑框_号码), 0);
  EXPECT_EQ(frame.ListRowCount(mw::编辑框_号码), 0);
}

TEST_F(FrameTest, AppendEditTextAddsEachTextAtTheEnd) {
  frame.UserEditedText(mw::编辑框_操作记录, "old\r\n");
  frame.AppendEditText(mw::编辑框_操作记录, {"a\r\n", "b"});
  frame.AppendEditText(mw::编辑框_操作记录, {"下载"_gbk});
  EXPECT_EQ(frame.GetText(mw::编辑框_操作记录), "old\r\na\r\nb"_gbk + "下载"_gbk);
}

TEST_F(FrameTest, HeadlessObserverSeesAppendsAndPropertyChanges) {
  std::string appended;
  std::vector<std::pair<std::string, int>> changes;
  backend.SetObserver({.text_appended = [&](const ControlState&, std::string_view t) {
                         appended += t;
                       },
                       .property_changed = [&](const ControlState& c, int index) {
                         changes.emplace_back(c.tmpl->name, index);
                       }});
  frame.AppendEditText(mw::编辑框_操作记录, {"a", "b"});
  frame.SetProgressPosition(mw::进度条1, 3);
  frame.SetVisible(mw::按钮_暂停线程, true);
  EXPECT_EQ(appended, "ab");
  EXPECT_EQ(changes, (std::vector<std::pair<std::string, int>>{
                         {"进度条1", kMaximum}, {"进度条1", kPosition}, {"按钮_暂停线程", kVisible}}));
}

TEST_F(FrameTest, EventsReachTheirHandlerWithTheirSource) {
  ControlRef seen{};
  int argument = -1;
  frame.SetHandler(mw::工具条1, EventKey::kToolbarClicked, [&](const Event& e) {
    seen = frame.current_event_source();
    argument = e.argument;
  });
  frame.DispatchEvent(mw::工具条1, EventKey::kToolbarClicked, 2);
  EXPECT_EQ(seen, mw::工具条1);
  EXPECT_EQ(argument, 2);
  // No handler: ignored.
  frame.DispatchEvent(mw::按钮_打开目录, EventKey::kClicked);
}

TEST(FrameLoad, CreatedEventRunsOnceAfterTheWindowIsBuilt) {
  HeadlessBackend backend;
  Frame frame{backend};
  int created = 0;
  Text caption_seen;
  frame.SetHandler(fw::kWindow, EventKey::kCreated, [&](const Event&) {
    ++created;
    caption_seen = frame.GetText(fw::按钮_查找);
  });
  EXPECT_TRUE(frame.LoadWindow(FindWindowTemplate()));
  EXPECT_TRUE(frame.LoadWindow(FindWindowTemplate()));
  EXPECT_EQ(created, 1);
  EXPECT_EQ(caption_seen, "查找"_gbk);
  EXPECT_EQ(backend.brought_to_front(), 1);
}

TEST(FrameLoad, EventsRaisedWhileAWindowIsBuiltAreIgnored) {
  // A back end whose controls report a click while they are being made.
  class EagerBackend : public HeadlessBackend {
   public:
    bool CreateWindowView(const WindowState& w) override {
      frame->DispatchEvent({w.tmpl->id, w.controls.at(0).tmpl->id}, EventKey::kClicked);
      return true;
    }
    Frame* frame = nullptr;
  };
  EagerBackend backend;
  Frame frame{backend};
  backend.frame = &frame;
  int clicks = 0;
  frame.SetHandler(fw::标签_要查找的相册名称, EventKey::kClicked, [&](const Event&) { ++clicks; });
  frame.LoadWindow(FindWindowTemplate());
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(frame.suspension(), 0);
  frame.DispatchEvent(fw::标签_要查找的相册名称, EventKey::kClicked);
  EXPECT_EQ(clicks, 1);
}

TEST(FrameLoop, NoEventReachesTheLogicAfterTheEnd) {
  HeadlessBackend backend;
  Frame frame{backend};
  int clicks = 0;
  frame.SetHandler(mw::按钮_打开目录, EventKey::kClicked, [&](const Event&) { ++clicks; });
  frame.LoadStartWindow(MainWindowTemplate());
  frame.CloseWindow(mw::kId);
  frame.Run();
  // The window is gone, yet this is no fatal error: events are suspended.
  frame.DispatchEvent(mw::按钮_打开目录, EventKey::kClicked);
  EXPECT_EQ(clicks, 0);
}

TEST(FrameLoop, EndsWhenTheLastWindowClosesAndRunsTheCleanupOnce) {
  HeadlessBackend backend;
  Frame frame{backend};
  int cleanups = 0;
  frame.RegisterCleanup([&] { ++cleanups; });
  frame.LoadStartWindow(MainWindowTemplate());
  frame.LoadWindow(FindWindowTemplate());
  frame.Post([&] { frame.CloseWindow(fw::kId); });
  frame.Post([&] {
    EXPECT_FALSE(frame.IsLoaded(fw::kId));
    EXPECT_EQ(cleanups, 0);
    frame.CloseWindow(mw::kId);
  });
  EXPECT_EQ(frame.Run(), 0);
  EXPECT_EQ(cleanups, 1);
  EXPECT_TRUE(frame.ending());
  EXPECT_GE(frame.suspension(), 1);
}

TEST(FrameLoop, ClosingTheMainWindowClosesTheFindWindowToo) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadStartWindow(MainWindowTemplate());
  frame.LoadWindow(FindWindowTemplate());
  frame.CloseWindow(mw::kId);
  EXPECT_FALSE(frame.IsLoaded(fw::kId));
  EXPECT_EQ(frame.Run(), 0);
}

TEST(FrameMessageBox, DefaultCaptionTaskModalAndButtonCodes) {
  HeadlessBackend backend;
  Frame frame{backend};
  DialogButton answer = DialogButton::kOk;
  backend.SetResponder({.message_box = [&](const MessageBoxRequest&) { return answer; }});
  EXPECT_EQ(frame.ShowMessageBox(Text("全部下载完毕"_gbk)), 0);
  ASSERT_EQ(backend.message_boxes().size(), 1u);
  EXPECT_EQ(backend.message_boxes()[0].caption, "信息："_gbk);
  EXPECT_EQ(backend.message_boxes()[0].style, kTaskModal);

  answer = DialogButton::kCancel;
  EXPECT_EQ(frame.ShowMessageBox(int32_t{12}, kButtonsOkCancel, "问"_gbk), 1);
  EXPECT_EQ(backend.message_boxes()[1].text, "12");
  EXPECT_EQ(backend.message_boxes()[1].caption, "问"_gbk);
  EXPECT_EQ(backend.message_boxes()[1].style, kButtonsOkCancel | kTaskModal);
  const std::pair<DialogButton, int> codes[] = {
      {DialogButton::kAbort, 2}, {DialogButton::kRetry, 3}, {DialogButton::kIgnore, 4},
      {DialogButton::kYes, 5},   {DialogButton::kNo, 6},    {DialogButton::kNone, 0}};
  for (auto [button, code] : codes) {
    answer = button;
    EXPECT_EQ(frame.ShowMessageBox(Text("x"), kSystemModal | 2), code);
  }
  EXPECT_EQ(backend.message_boxes().back().style, kSystemModal | 2);
  // A byte array is no message kind: the box is empty.
  frame.ShowMessageBox(Bytes{'a'});
  EXPECT_EQ(backend.message_boxes().back().text, "");
}

class FrameDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Loads the main window on a fresh frame and calls `fn` with it.
template <class F>
void WithMainWindow(F fn) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadWindow(MainWindowTemplate());
  fn(frame);
}

TEST_F(FrameDeathTest, AccessToControlsOfWindowsNotLoadedIsFatal) {
  EXPECT_EXIT(WithMainWindow([](Frame& f) { f.GetText(fw::编辑框1); }),
              ::testing::ExitedWithCode(255), "未载入欲访问窗口组件所在的窗口");
  EXPECT_EXIT(WithMainWindow([](Frame& f) { f.SetText({mw::kId, 0x16FFFFFF}, "x"); }),
              ::testing::ExitedWithCode(255), "指定窗口尚未载入");
}

TEST_F(FrameDeathTest, EventsFromUnknownSourcesAreFatal) {
  EXPECT_EXIT(WithMainWindow([](Frame& f) { f.DispatchEvent(fw::按钮_查找, EventKey::kClicked); }),
              ::testing::ExitedWithCode(255), "未找到引发事件的窗口");
  EXPECT_EXIT(WithMainWindow([](Frame& f) {
                f.DispatchEvent({mw::kId, 0x16FFFFFF}, EventKey::kClicked);
              }),
              ::testing::ExitedWithCode(255), "未找到引发事件的窗口组件");
  EXPECT_EXIT(WithMainWindow([](Frame& f) { f.DispatchEvent(mw::分组框2, EventKey::kClicked); }),
              ::testing::ExitedWithCode(255), "引发事件的窗口组件无效");
}

TEST_F(FrameDeathTest, FatalReportShowsItsTextAndSkipsTheCleanup) {
  const std::filesystem::path marker =
      std::filesystem::path(::testing::TempDir()) / "frame_cleanup_marker";
  std::filesystem::remove(marker);
  auto fail = [&] {
    HeadlessBackend backend;
    backend.SetResponder({.message_box = [](const MessageBoxRequest& r) {
      std::string line = "caption=" + ToUtf8(r.caption) + " style=" + std::to_string(r.style) +
                         " text=" + ToUtf8(r.text) + "|end";
      fprintf(stderr, "%s\n", line.c_str());
      return DialogButton::kOk;
    }});
    Frame frame{backend};
    frame.RegisterCleanup([&] { std::ofstream(marker) << "ran"; });
    frame.LoadStartWindow(MainWindowTemplate());
    FatalError("坏了"_gbk, 7);
  };
  EXPECT_EXIT(fail(), ::testing::ExitedWithCode(255),
              "caption=错误 style=16 text=运行时出错!\r\n\r\n错误代码：7\r\n\r\n"
              "错误信息：坏了\r\n\\|end");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(FrameDeathTest, EndProgramFromAWorkerRunsTheCleanupOnTheUiThread) {
  auto program = [] {
    HeadlessBackend backend;
    Frame frame{backend};
    const std::thread::id ui = std::this_thread::get_id();
    frame.RegisterCleanup([ui] {
      fprintf(stderr, "cleanup on ui=%d\n", std::this_thread::get_id() == ui);
    });
    frame.LoadStartWindow(MainWindowTemplate());
    std::thread([&] { frame.EndProgram(3); }).detach();
    frame.Run();
  };
  EXPECT_EXIT(program(), ::testing::ExitedWithCode(3), "cleanup on ui=1");
}

TEST_F(FrameDeathTest, AFatalErrorWhileReportingEndsAtOnce) {
  auto fail = [] {
    HeadlessBackend backend;
    backend.SetResponder({.message_box = [](const MessageBoxRequest&) -> DialogButton {
      AllocationFailed(64);  // the report itself runs out of memory
    }});
    Frame frame{backend};
    FatalError("first"_gbk);
  };
  EXPECT_EXIT(fail(), ::testing::ExitedWithCode(255), "");
}

TEST_F(FrameDeathTest, FailedStartWindowIsFatal) {
  class FailingBackend : public HeadlessBackend {
    bool CreateWindowView(const WindowState&) override { return false; }
  };
  auto run = [] {
    FailingBackend backend;
    Frame frame{backend};
    frame.LoadStartWindow(MainWindowTemplate());
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(255), "载入启动窗口失败");
}

TEST_F(FrameDeathTest, FailedAllocationReportsItsSize) {
  EXPECT_EQ(AllocationFailureMessage(4096), "分配 4096 字节内存失败!"_gbk);
  EXPECT_EXIT(WithMainWindow([](Frame&) { AllocationFailed(123456789); }),
              ::testing::ExitedWithCode(255), "错误信息：分配 123456789 字节内存失败!");
}

}  // namespace
}  // namespace frame
