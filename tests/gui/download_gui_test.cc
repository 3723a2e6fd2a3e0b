// A download run through the Qt back end (offscreen), driven by clicks on
// the real push buttons: the run buttons' widgets follow the run's state,
// the bar, labels and log move while the window keeps answering, pause holds
// the run, the stop question is a modal message box, and a second run
// finishes what the stopped one left. Driven by the keyboard: the focus
// stays on the run buttons, and closing the window during a run asks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "download/download_run.h"
#include "frame/frame.h"
#include "frame/window_templates.h"
#include "gui/ui_qt.h"
#include "gui_test_app.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"
#include "stand-in/server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace mw = frame::main_window;
using standin::Interface;

// Runs the event loop until `done` holds or `seconds` pass; returns `done`.
bool PumpUntil(const std::function<bool()>& done, int seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return done();
}

void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  PumpUntil([&] { return std::chrono::steady_clock::now() >= end; });
}

// Answers the next modal message box with `button` once it is open (trying
// every 20 ms, for at most 30 s), and keeps its title and text.
struct MessageAnswer {
  std::string title;
  std::string text;
  bool answered = false;
};
void AnswerNextMessageBox(QMessageBox::StandardButton button, MessageAnswer* answer,
                          int tries_left = 1500) {
  QTimer::singleShot(20, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->button(button) == nullptr) {
      if (tries_left > 0) AnswerNextMessageBox(button, answer, tries_left - 1);
      return;
    }
    answer->title = box->windowTitle().toStdString();
    answer->text = box->text().toStdString();
    answer->answered = true;
    box->button(button)->click();
  });
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A board of two albums of 2 KB pictures.
standin::DataSet TwoAlbums() {
  standin::DataSet data;
  data.board = "纸飞机";
  for (int count : {70, 30}) {
    standin::Thread t;
    t.tid = std::to_string(4718400000LL + data.threads.size());
    t.title = "相册" + std::to_string(data.threads.size() + 1);
    for (int i = 0; i < count; ++i) {
      char id[41];
      std::snprintf(id, sizeof id, "%020d%020d", i, static_cast<int>(data.threads.size()));
      standin::Picture picture;
      picture.id = id;
      picture.size = 2000;
      t.pictures.push_back(picture);
    }
    data.threads.push_back(std::move(t));
  }
  return data;
}

class GuiDownload : public ::testing::Test {
 protected:
  // The application comes before the back end, which installs its
  // translation into it.
  bool app_ = (TheApp(), true);

  GuiDownload() {
    TheApp();
    download::WireDownloadButtons(shell_.hooks(), downloads_);
    backend_.SetCloseGuard([this](uint32_t window) { return shell_.MayCloseWindow(window); });
    shell_.Start();
  }

  // Finds the board's albums and sets the save folder.
  void Retrieve() {
    shell_.state().service.web_host = "127.0.0.1:" + std::to_string(service_.port());
    shell_.state().service.picture_host = shell_.state().service.web_host;
    frame_.SetText(mw::编辑框_号码, service_.BoardUrl());
    Button(mw::按钮_获取相册封面)->click();
    ASSERT_TRUE(PumpUntil([&] { return !discovery_.retrieval().running(); }));
    frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8(save_.string()));
  }

  QPushButton* Button(frame::ControlRef ref) const {
    return qobject_cast<QPushButton*>(backend_.Widget(ref));
  }
  // The run buttons shown: D(ownload), P(ause), C(ontinue), S(top), or '-'.
  std::string Buttons() const {
    std::string shown;
    const std::pair<frame::ControlRef, char> buttons[] = {{mw::按钮_下载选中, 'D'},
                                                          {mw::按钮_暂停线程, 'P'},
                                                          {mw::按钮_继续下载, 'C'},
                                                          {mw::按钮_结束下载, 'S'}};
    for (const auto& [ref, letter] : buttons) {
      shown += Button(ref) != nullptr && Button(ref)->isVisible() ? letter : '-';
    }
    return shown;
  }
  // What a label and the log show, as UTF-8.
  std::string LabelText(frame::ControlRef ref) const {
    auto* label = qobject_cast<QLabel*>(backend_.Widget(ref));
    return label ? label->text().toStdString() : std::string();
  }
  std::string LogText() const {
    auto* log = qobject_cast<QPlainTextEdit*>(backend_.Widget(mw::编辑框_操作记录));
    return log ? log->toPlainText().toStdString() : std::string();
  }
  QProgressBar* Bar() const { return qobject_cast<QProgressBar*>(backend_.Widget(mw::进度条1)); }
  size_t PictureRequests() const { return service_.Count(Interface::kPicture); }

  testing_support::TempDir folder_;
  fs::path save_ = folder_.path() / "保存";
  gui::QtBackend backend_;
  frame::Frame frame_{backend_, folder_.path().string()};
  shell::Shell shell_{frame_};
  discovery::Discovery discovery_{frame_, shell_, {.after_list_request_ms = 0}};
  download::DownloadControl downloads_{frame_,
                                       shell_.state(),
                                       discovery_.retrieval(),
                                       {.empty_page_retry_ms = 0, .after_list_picture_ms = 0}};
  standin::StandIn service_{TwoAlbums()};
};

TEST_F(GuiDownload, ButtonsPauseContinueAndStopDriveTheRunWhileTheWindowAnswers) {
  ASSERT_TRUE(service_.Start());
  Retrieve();
  frame_.SetChecked(mw::选择框_下载记录, true);
  ASSERT_EQ(Buttons(), "D---");

  // Every picture takes a while, so the run is watched as it goes. A timer of
  // the window's own thread samples what the window shows; it fires only
  // while the event loop runs.
  service_.AddFault("picture:latency=15");
  struct Sample {
    std::string buttons;
    int bar;
    std::string picture_label;
    int log_length;
  };
  std::vector<Sample> samples;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    samples.push_back({Buttons(), Bar()->value(), LabelText(mw::标签_第多少张照片),
                       static_cast<int>(LogText().size())});
  });
  timer.start(10);

  Button(mw::按钮_下载选中)->click();
  EXPECT_EQ(Buttons(), "-P-S");
  ASSERT_TRUE(PumpUntil([&] { return Bar()->value() >= 20; }));
  EXPECT_EQ(LabelText(mw::标签_选择了相册数量), "总共需下载[2]个相册");
  EXPECT_EQ(LabelText(mw::标签_正在下载相册), "下载到第[1]个相册");
  EXPECT_EQ(Bar()->maximum(), 70);
  EXPECT_TRUE(Contains(LogText(), "下载载相册:相册1"));

  // Pause: the run holds still while the window goes on answering.
  Button(mw::按钮_暂停线程)->click();
  EXPECT_EQ(Buttons(), "--CS");
  EXPECT_TRUE(LogText().ends_with("执行了暂停下载功能\n"));
  PumpFor(200);  // the picture in flight, if any, lands
  const int paused_at = Bar()->value();
  const size_t requests_paused = PictureRequests();
  const size_t samples_before = samples.size();
  PumpFor(400);
  EXPECT_EQ(Bar()->value(), paused_at);
  EXPECT_EQ(PictureRequests(), requests_paused);
  EXPECT_GT(samples.size(), samples_before + 10);

  // Stop, answered Cancel: the run stays paused.
  MessageAnswer cancel;
  AnswerNextMessageBox(QMessageBox::Cancel, &cancel);
  Button(mw::按钮_结束下载)->click();  // returns once the question is answered
  ASSERT_TRUE(cancel.answered);
  EXPECT_EQ(cancel.title, "警告！");
  EXPECT_EQ(cancel.text, "您真的要彻底结束下载么？");
  EXPECT_EQ(Buttons(), "--CS");
  PumpFor(200);
  EXPECT_EQ(PictureRequests(), requests_paused);
  EXPECT_TRUE(downloads_.running());

  // Continue: the run moves on, into the second album.
  Button(mw::按钮_继续下载)->click();
  EXPECT_EQ(Buttons(), "-P-S");
  EXPECT_TRUE(LogText().ends_with("执行了继续下载功能\n"));
  ASSERT_TRUE(PumpUntil([&] {
    return LabelText(mw::标签_正在下载相册) == "下载到第[2]个相册" && Bar()->maximum() == 30 &&
           Bar()->value() >= 5;
  }));

  // Stop, answered OK: back to idle at once, and the worker ends.
  MessageAnswer ok;
  AnswerNextMessageBox(QMessageBox::Ok, &ok);
  Button(mw::按钮_结束下载)->click();
  ASSERT_TRUE(ok.answered);
  EXPECT_EQ(Buttons(), "D---");
  EXPECT_TRUE(LogText().ends_with("执行了结束下载\n"));
  ASSERT_TRUE(PumpUntil([&] { return !downloads_.running(); }, 30));
  const size_t requests_stopped = PictureRequests();
  const int64_t saved_first = downloads_.tally().saved.load();
  PumpFor(200);
  EXPECT_EQ(PictureRequests(), requests_stopped);
  EXPECT_FALSE(Contains(LogText(), "全部下载完毕"));
  EXPECT_GT(saved_first, 70);
  EXPECT_LT(saved_first, 100);
  timer.stop();

  // What the window showed along the way: only the states of the table,
  // and a bar, a label and a log that moved while the timer kept firing.
  std::set<std::string> states;
  std::set<int> bars;
  std::set<std::string> labels;
  std::set<int> log_lengths;
  for (const Sample& s : samples) {
    states.insert(s.buttons);
    bars.insert(s.bar);
    labels.insert(s.picture_label);
    log_lengths.insert(s.log_length);
  }
  EXPECT_EQ(states, (std::set<std::string>{"-P-S", "--CS", "D---"}));
  EXPECT_GT(bars.size(), 10u);
  EXPECT_GT(labels.size(), 10u);
  EXPECT_GE(log_lengths.size(), 4u);  // album 1, pause, continue, album 2, stop

  // A second run skips what the first saved, fetches the rest, and ends by
  // itself with its message box; every picture is then on disk whole.
  service_.faults().Clear();
  MessageAnswer done;
  AnswerNextMessageBox(QMessageBox::Ok, &done);
  Button(mw::按钮_下载选中)->click();
  ASSERT_TRUE(PumpUntil([&] { return !downloads_.running(); }));
  ASSERT_TRUE(done.answered);
  EXPECT_EQ(done.text, "全部下载完毕");
  EXPECT_EQ(Buttons(), "D---");
  EXPECT_EQ(LabelText(mw::标签_第多少张照片), "下载完成");
  EXPECT_TRUE(LogText().ends_with("-------全部下载完毕--------\n\n"));
  EXPECT_EQ(PictureRequests() - requests_stopped, static_cast<size_t>(100 - saved_first));
  for (const standin::Thread& t : service_.data().threads) {
    for (size_t i = 0; i < t.pictures.size(); ++i) {
      const fs::path file = save_ / "纸飞机吧_百度贴吧" / (t.title + "_" + t.tid) /
                            ("(" + std::to_string(i + 1) + ").jpg");
      EXPECT_EQ(ReadFile(file), standin::PictureBody(service_.data(), t.pictures[i])) << file;
    }
  }
}

// Presses Enter on the widget that has the keyboard focus.
void PressEnter() {
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(focus, &press);
}

TEST_F(GuiDownload, FocusStaysOnTheRunButtonsAndClosingDuringARunAsksFirst) {
  ASSERT_TRUE(service_.Start());
  Retrieve();
  QWidget* main = backend_.Widget(mw::kWindow);
  main->activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return main->isActiveWindow(); }, 10));
  service_.AddFault("picture:latency=40");  // the run lasts longer than a focus check
  // Where the focus has come to rest, once the window is active again (as a
  // window manager makes it after a message box).
  auto focus_at = [&](frame::ControlRef ref) {
    return PumpUntil(
        [&] {
          if (QApplication::activeModalWidget() == nullptr && !main->isActiveWindow()) {
            main->activateWindow();
          }
          return main->isActiveWindow() && QApplication::focusWidget() == backend_.Widget(ref);
        },
        1);
  };
  auto folder_box = qobject_cast<QLineEdit*>(backend_.Widget(mw::编辑框_保存位置));

  // Enter on the focused start button starts the run; the focus goes to
  // the pause button, not on to the folder box where a key would replace
  // the whole folder.
  Button(mw::按钮_下载选中)->setFocus();
  PressEnter();
  EXPECT_EQ(Buttons(), "-P-S");
  EXPECT_TRUE(focus_at(mw::按钮_暂停线程));
  EXPECT_FALSE(folder_box->hasSelectedText());
  // Enter, Enter: paused, then going on, the focus on the button that took
  // the pressed one's place each time, never on the stop button.
  PressEnter();
  EXPECT_EQ(Buttons(), "--CS");
  EXPECT_TRUE(focus_at(mw::按钮_继续下载));
  PressEnter();
  EXPECT_EQ(Buttons(), "-P-S");
  EXPECT_TRUE(focus_at(mw::按钮_暂停线程));
  // Stopped from the keyboard: back on the start button.
  Button(mw::按钮_结束下载)->setFocus();
  MessageAnswer stop;
  AnswerNextMessageBox(QMessageBox::Ok, &stop);
  PressEnter();
  ASSERT_TRUE(stop.answered);
  EXPECT_EQ(Buttons(), "D---");
  EXPECT_TRUE(focus_at(mw::按钮_下载选中));
  ASSERT_TRUE(PumpUntil([&] { return !downloads_.running(); }));

  // A run that ends by itself, after its closing box: the start button.
  service_.faults().Clear();
  MessageAnswer done;
  AnswerNextMessageBox(QMessageBox::Ok, &done);
  PressEnter();
  EXPECT_TRUE(focus_at(mw::按钮_暂停线程) || done.answered);
  ASSERT_TRUE(PumpUntil([&] { return done.answered && !downloads_.running(); }));
  EXPECT_TRUE(focus_at(mw::按钮_下载选中));

  // Closing during a run asks the stop question. Cancel: the run and the
  // window go on.
  const size_t all_pictures = PictureRequests();
  service_.AddFault("picture:latency=10");
  frame_.SetChecked(mw::选择框_下载记录, false);
  fs::remove_all(save_);
  Button(mw::按钮_下载选中)->click();
  ASSERT_TRUE(PumpUntil([&] { return PictureRequests() >= all_pictures + 5; }));
  MessageAnswer keep;
  AnswerNextMessageBox(QMessageBox::Cancel, &keep);
  main->close();
  ASSERT_TRUE(keep.answered);
  EXPECT_EQ(keep.text, "您真的要彻底结束下载么？");
  EXPECT_TRUE(frame_.IsLoaded(mw::kId));
  EXPECT_EQ(Buttons(), "-P-S");
  const size_t asked = PictureRequests();
  ASSERT_TRUE(PumpUntil([&] { return PictureRequests() > asked + 3; }));

  // OK: the run stops, lets go of its files, and then the window closes;
  // every file in the album folders is a whole picture under its own name.
  MessageAnswer end;
  AnswerNextMessageBox(QMessageBox::Ok, &end);
  main->close();
  ASSERT_TRUE(end.answered);
  EXPECT_FALSE(downloads_.running());
  EXPECT_FALSE(frame_.IsLoaded(mw::kId));
  int files = 0;
  for (const standin::Thread& t : service_.data().threads) {
    const fs::path album = save_ / "纸飞机吧_百度贴吧" / (t.title + "_" + t.tid);
    if (!fs::exists(album)) continue;
    for (const auto& entry : fs::directory_iterator(album)) {
      const std::string name = entry.path().filename().string();
      if (name == ".tiepic.jsonl") continue;  // the folder's manifest
      ++files;
      ASSERT_TRUE(name.starts_with("(") && name.ends_with(").jpg")) << name;
      const size_t number = std::stoul(name.substr(1));
      ASSERT_LE(number, t.pictures.size());
      EXPECT_EQ(ReadFile(entry.path()),
                standin::PictureBody(service_.data(), t.pictures[number - 1]))
          << name;
    }
  }
  EXPECT_GT(files, 3);
  EXPECT_LT(files, 100);
}

}  // namespace
