// The end of the program while worker threads still call the frame: calls
// around the last window's close are dropped, the process ends without
// unwinding under the workers, and a worker's fatal report meeting one of
// the UI thread is shown once instead of hanging both.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/fatal.h"
#include "runtime/gbk.h"

namespace frame {

using rt::FatalError;
using rt::FatalErrorRaised;
using rt::ToUtf8;

namespace {

namespace mw = main_window;
namespace fw = find_window;
using namespace std::chrono_literals;

class FrameEndDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Ends the process with exit code 99 when it is still running after `limit`:
// a hang fails the test instead of stalling it.
void Watchdog(std::chrono::seconds limit) {
  std::thread([limit] {
    std::this_thread::sleep_for(limit);
    std::fputs("watchdog: hung\n", stderr);
    ::_exit(99);
  }).detach();
}

TEST_F(FrameEndDeathTest, WorkerCallsAroundTheLastCloseAreDropped) {
  constexpr int kRounds = 40;
  auto program = [] {
    Watchdog(60s);
    int cleanups = 0;
    for (int round = 0; round < kRounds; ++round) {
      HeadlessBackend backend;
      Frame frame{backend};
      frame.RegisterCleanup([&] { ++cleanups; });
      frame.LoadStartWindow(MainWindowTemplate());
      std::atomic<bool> stop{false};
      std::atomic<int> calls{0};
      auto work = [&] {
        for (int i = 0; !stop; ++i) {
          frame.SetText(mw::标签_动态, std::to_string(i));
          frame.GetText(mw::编辑框_号码);
          frame.AppendEditText(mw::编辑框_操作记录, {"x"});
          ++calls;
        }
      };
      std::thread a(work);
      std::thread b(work);
      // The user's close arrives among the workers' queued calls.
      std::thread closer([&] {
        while (calls.load() < 10 + round) std::this_thread::yield();
        frame.Post([&] { frame.UserClosedWindow(mw::kId); });
      });
      frame.Run();
      stop = true;
      a.join();
      b.join();
      closer.join();
    }
    std::fprintf(stderr, "cleanups=%d\n", cleanups);
    std::fflush(nullptr);
    ::_exit(0);
  };
  EXPECT_EXIT(program(), ::testing::ExitedWithCode(0), "cleanups=40");
}

TEST(FrameEnd, ReadsOfAClosedWindowAfterTheEndAreEmpty) {
  HeadlessBackend backend;
  Frame frame{backend};
  frame.LoadStartWindow(MainWindowTemplate());
  frame.SetText(mw::编辑框_号码, "1");
  frame.CloseWindow(mw::kId);
  EXPECT_EQ(frame.GetText(mw::编辑框_号码), "");
  frame.AppendEditText(mw::编辑框_操作记录, {"late"});
  EXPECT_EQ(frame.ListRowCount(mw::超级列表框1), 0);
  EXPECT_EQ(frame.Run(), 0);
}

TEST_F(FrameEndDeathTest, RunThenExitEndsWhileAWorkerStillWrites) {
  auto program = [] {
    Watchdog(10s);
    HeadlessBackend backend;
    Frame frame{backend};
    int cleanups = 0;
    frame.RegisterCleanup([&] {
      ++cleanups;
      std::fprintf(stderr, "cleanup %d\n", cleanups);
    });
    frame.LoadStartWindow(MainWindowTemplate());
    // Nobody joins this worker; it writes until the process ends.
    std::thread([&frame] {
      for (int i = 0;; ++i) frame.SetText(mw::标签_动态, std::to_string(i));
    }).detach();
    std::this_thread::sleep_for(10ms);
    frame.Post([&] { frame.UserClosedWindow(mw::kId); });
    frame.RunThenExit();
  };
  EXPECT_EXIT(program(), ::testing::ExitedWithCode(0), "cleanup 1\n$");
}

TEST_F(FrameEndDeathTest, FatalErrorsOfAWorkerAndTheUiThreadAtOnceShowOneReport) {
  auto program = [] {
    Watchdog(10s);
    HeadlessBackend backend;
    std::atomic<int> shown{0};
    backend.SetResponder({.message_box = [&](const MessageBoxRequest& r) {
      std::fprintf(stderr, "shown %d: %s\n", ++shown, ToUtf8(r.text).c_str());
      return DialogButton::kOk;
    }});
    Frame frame{backend};
    frame.RegisterCleanup([] { std::fputs("cleanup ran\n", stderr); });
    frame.LoadStartWindow(MainWindowTemplate());
    frame.Post([&] {
      // A handler still busy when the worker's report is queued meets a
      // fatal error of its own.
      while (!FatalErrorRaised()) std::this_thread::yield();
      std::this_thread::sleep_for(20ms);
      frame.GetText(fw::编辑框1);
    });
    std::thread([] { FatalError("worker"); }).detach();
    frame.Run();
  };
  EXPECT_EXIT(program(), ::testing::ExitedWithCode(255), "^shown 1: 运行时出错.*worker\r\n\n$");
}

TEST_F(FrameEndDeathTest, TheCleanupNeverRunsOnceAFatalErrorIsRaised) {
  const std::filesystem::path marker =
      std::filesystem::path(::testing::TempDir()) / "frame_end_cleanup_marker";
  std::filesystem::remove(marker);
  auto program = [&] {
    Watchdog(10s);
    HeadlessBackend backend;
    Frame frame{backend};
    frame.RegisterCleanup([&] { std::ofstream(marker) << "ran"; });
    frame.LoadStartWindow(MainWindowTemplate());
    // The user closes the window before the worker's report is shown.
    frame.Post([&] {
      while (!FatalErrorRaised()) std::this_thread::yield();
      std::this_thread::sleep_for(20ms);
      frame.UserClosedWindow(mw::kId);
    });
    std::thread([] { FatalError("worker"); }).detach();
    frame.Run();
    std::this_thread::sleep_for(1s);  // the worker ends the process meanwhile
    std::fflush(nullptr);
    ::_exit(0);
  };
  EXPECT_EXIT(program(), ::testing::ExitedWithCode(255), "worker");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace frame
