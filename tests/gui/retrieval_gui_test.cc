// Album retrieval through the Qt back end (offscreen): rows arrive in the
// list widget while the window keeps answering its events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>

#include "discovery/discovery.h"
#include "frame/frame.h"
#include "frame/window_templates.h"
#include "gui/ui_qt.h"
#include "gui_test_app.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"
#include "stand-in/server.h"
#include "support/temp_dir.h"

namespace {

namespace mw = frame::main_window;

TEST(GuiRetrieval, RowsAppearWhileTheWindowKeepsAnswering) {
  TheApp();
  testing_support::TempDir folder;
  gui::QtBackend backend;
  frame::Frame frame(backend, folder.path().string());
  shell::Shell shell(frame);
  discovery::Discovery discovery(frame, shell, {.after_list_request_ms = 0});
  shell.Start();

  standin::DataSet data;
  data.board = "纸飞机";
  for (int i = 0; i < 40; ++i) {
    data.threads.push_back({.tid = std::to_string(4718200000LL + i), .title = "相册"});
  }
  standin::StandIn service(std::move(data));
  ASSERT_TRUE(service.Start());
  service.AddFault("album-list:latency=150");
  shell.state().service.web_host = "127.0.0.1:" + std::to_string(service.port());

  frame.SetText(mw::编辑框_号码, service.BoardUrl());
  frame.DispatchEvent(mw::按钮_获取相册封面, frame::EventKey::kClicked);

  // A timer of the window's own thread: it fires only while the event loop
  // runs, so its count shows the window answering during the retrieval.
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  auto* list = qobject_cast<QTreeWidget*>(backend.Widget(mw::超级列表框1));
  ASSERT_NE(list, nullptr);
  int ticks_with_some_rows = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (discovery.retrieval().running() && std::chrono::steady_clock::now() < deadline) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (list->topLevelItemCount() > 0 && list->topLevelItemCount() < 40) {
      ticks_with_some_rows = ticks;
    }
  }
  ASSERT_FALSE(discovery.retrieval().running());
  QApplication::processEvents();
  EXPECT_EQ(list->topLevelItemCount(), 40);
  EXPECT_EQ(list->topLevelItem(39)->checkState(0), Qt::Checked);
  // Page 2 came 150 ms after page 1's rows were in: the timer kept firing.
  EXPECT_GT(ticks_with_some_rows, 5);
}

}  // namespace
