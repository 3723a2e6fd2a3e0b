// tiepic-screenshot: renders the desktop program's main window to a PNG file
// for the README, in the middle of a download of the demo board from the
// stand-in of the service, which runs inside this process on 127.0.0.1. Run
// it on Qt's offscreen platform (scripts/screenshot does). Not installed.
// The settings, records and pictures go to a temporary folder, removed at
// the end.
#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/demo_board.h"
#include "discovery/discovery.h"
#include "download/download_run.h"
#include "frame/frame.h"
#include "frame/window_templates.h"
#include "gui/ui_qt.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"
#include "stand-in/server.h"

namespace {

namespace mw = frame::main_window;

constexpr int kShownAfter = 8;        // pictures saved when the window is taken
constexpr int kGiveUpMs = 60 * 1000;  // a run that never gets there
constexpr int kPicturePauseMs = 300;  // keeps the run going while it is taken

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tiepic-screenshot OUTPUT.png\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir home;
  standin::StandIn service(demo::DemoBoard());
  std::string error;
  if (!home.isValid() || !service.Start(&error)) {
    std::fprintf(stderr, "tiepic-screenshot: cannot start: %s\n", error.c_str());
    return 1;
  }
  gui::QtBackend backend;
  frame::Frame frame(backend, home.path().toStdString());
  shell::Shell shell(frame);
  discovery::Discovery discovery(frame, shell);
  download::DownloadControl downloads(frame, shell.state(), discovery.retrieval(),
                                      {.after_list_picture_ms = kPicturePauseMs});
  download::WireDownloadButtons(shell.hooks(), downloads);
  shell.Start();
  shell.state().service.web_host = shell.state().service.picture_host =
      service.hosts().web;
  frame.SetText(mw::编辑框_保存位置,
                rt::FromUtf8(home.path().toStdString() + "/pictures"));
  frame.SetChecked(mw::选择框_下载记录, true);
  frame.SetChecked(mw::选择框_文件名, true);
  discovery.retrieval().SetOnFinished(
      [&frame] { frame.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked); });

  // Taken from the event loop once enough pictures are saved; closing the
  // window then stops the run (the download's destructor) and ends the loop.
  int status = 1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (downloads.tally().saved.load() < kShownAfter) return;
    poll.stop();
    QWidget* window = backend.Widget({mw::kId, 0});
    if (window != nullptr && window->grab().save(output, "PNG")) {
      status = 0;
    } else {
      std::fprintf(stderr, "tiepic-screenshot: cannot write %s\n", argv[1]);
    }
    frame.CloseWindow(mw::kId);
  });
  poll.start(50);
  QTimer::singleShot(kGiveUpMs, [&frame] {
    std::fprintf(stderr, "tiepic-screenshot: the download did not get going\n");
    frame.CloseWindow(mw::kId);
  });
  frame.SetText(mw::编辑框_号码, service.BoardUrl());
  frame.DispatchEvent(mw::按钮_获取相册封面, frame::EventKey::kClicked);
  frame.Run();
  return status;
}
