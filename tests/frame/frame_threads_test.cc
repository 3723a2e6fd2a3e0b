// Calls from worker threads: they run on the UI thread, land whole and in
// order per thread, never deadlock while the UI thread is busy, and stop
// waiting once the program ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/text_commands.h"

namespace frame {

using rt::SplitText;
using rt::Text;

namespace {

namespace mw = main_window;
using namespace std::chrono_literals;

// Returns true iff the lines of `name` in `lines` are name0, name1, ... in
// order, `count` of them.
bool InOrder(const std::vector<Text>& lines, char name, int count) {
  int next = 0;
  for (const Text& line : lines) {
    if (line.empty() || line[0] != name) continue;
    if (line != name + std::to_string(next)) return false;
    ++next;
  }
  return next == count;
}

TEST(FrameThreads, WorkerCallsLandWholeAndInOrderPerThread) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadStartWindow(MainWindowTemplate());
  constexpr int kCalls = 300;
  std::atomic<int> mismatches{0};
  auto work = [&](char name, ControlRef label) {
    for (int i = 0; i < kCalls; ++i) {
      Text value = name + std::to_string(i);
      frame.SetCaption(label, value);
      if (frame.GetText(label) != value) ++mismatches;  // the write is done on return
      frame.AppendEditText(mw::编辑框_操作记录, {value, "\r\n"});
      frame.ListSetCell(mw::超级列表框1, frame.ListAppendRow(mw::超级列表框1), 1, value);
    }
  };
  Text log;
  std::vector<Text> cells;
  std::thread a(work, 'A', mw::标签_进度条比例);
  std::thread b(work, 'B', mw::标签_第多少张照片);
  std::thread closer([&] {
    a.join();
    b.join();
    frame.Post([&] {
      log = frame.GetText(mw::编辑框_操作记录);
      for (const ListRow& row : frame.Control(mw::超级列表框1)->rows) cells.push_back(row.cells[1]);
      frame.CloseWindow(mw::kId);
    });
  });
  // The UI thread is busy for a while before it serves anybody.
  frame.Post([] { std::this_thread::sleep_for(50ms); });
  EXPECT_EQ(frame.Run(), 0);
  closer.join();

  EXPECT_EQ(mismatches, 0);
  std::vector<Text> lines = SplitText(log, "\r\n");
  EXPECT_EQ(lines.size(), 2u * kCalls);
  EXPECT_TRUE(InOrder(lines, 'A', kCalls));
  EXPECT_TRUE(InOrder(lines, 'B', kCalls));
  EXPECT_EQ(cells.size(), 2u * kCalls);
  EXPECT_TRUE(InOrder(cells, 'A', kCalls));
  EXPECT_TRUE(InOrder(cells, 'B', kCalls));
}

TEST(FrameThreads, ProcessEventsOnTheUiThreadServesWaitingWorkers) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadWindow(MainWindowTemplate());
  std::atomic<bool> done{false};
  std::thread worker([&] {
    frame.SetText(mw::编辑框_号码, "w");
    done = true;
  });
  // A handler that keeps the UI thread but lets waiting calls run.
  while (!done) {
    frame.ProcessEvents();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(frame.GetText(mw::编辑框_号码), "w");
}

TEST(FrameThreads, DialogsFromAWorkerAreShownOnTheUiThread) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadStartWindow(MainWindowTemplate());
  std::thread::id shown_on;
  backend.SetResponder({.message_box = [&](const MessageBoxRequest&) {
    shown_on = std::this_thread::get_id();
    return DialogButton::kCancel;
  }});
  int result = -1;
  std::thread worker([&] {
    result = frame.ShowMessageBox(Text("x"), kButtonsOkCancel);
    frame.Post([&] { frame.CloseWindow(mw::kId); });
  });
  frame.Run();
  worker.join();
  EXPECT_EQ(shown_on, std::this_thread::get_id());
  EXPECT_EQ(result, 1);
}

TEST(FrameThreads, WorkerCallsAfterTheEndReturnAtOnce) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadStartWindow(MainWindowTemplate());
  frame.CloseWindow(mw::kId);
  frame.Run();
  Text read = "unchanged";
  std::thread worker([&] {
    frame.SetText(mw::编辑框_号码, "late");
    read = frame.GetText(mw::编辑框_号码);
  });
  worker.join();
  EXPECT_EQ(read, "");
}

TEST(FrameThreads, ServeUntilRunsAWorkersCallsUntilItHasEnded) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadStartWindow(MainWindowTemplate());
  std::atomic<bool> done{false};
  std::thread worker([&] {
    frame.ProcessEvents();  // on a worker: nothing, and no wait for the UI thread
    frame.SetText(mw::编辑框_号码, "from the worker");  // waits for the UI thread
    done.store(true);
    frame.Post([] {});
  });
  frame.ServeUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(frame.GetText(mw::编辑框_号码), "from the worker");
}

}  // namespace
}  // namespace frame
