// The run on its worker, and the start, pause, continue and stop buttons.
#include "download/download_run.h"

#include <string>
#include <system_error>
#include <utility>

#include "download/album_pipeline.h"
#include "frame/window_templates.h"
#include "platform/http_transport_curl.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace download {
namespace {

namespace mw = frame::main_window;
using rt::operator""_gbk;

void Log(frame::Frame& frame, std::string_view line) {
  frame.AppendEditText(mw::编辑框_操作记录, {line});
}

}  // namespace

DownloadControl::DownloadControl(frame::Frame& frame, const shell::ProgramState& state,
                                 const discovery::AlbumRetrieval& retrieval, DownloadPauses pauses)
    : frame_(frame), state_(state), retrieval_(retrieval), pauses_(pauses), view_(frame) {}

DownloadControl::~DownloadControl() {
  if (gate_) gate_->Stop();
  WaitForWorker();
}

void DownloadControl::WaitForWorker() {
  // The worker never waits for this thread, but a fatal report of its own
  // would: the queue is served until it has ended, and its last events shown.
  frame_.ServeUntil([this] { return worker_done_.load(); });
  if (worker_.joinable()) worker_.join();
  frame_.DrainTasks();
  running_.store(false);
}

void WireDownloadButtons(shell::Hooks& hooks, DownloadControl& control) {
  hooks.start_download = [&control] { control.StartDownload(); };
  hooks.pause_download = [&control] { control.PauseDownload(); };
  hooks.continue_download = [&control] { control.ContinueDownload(); };
  hooks.stop_download = [&control] { control.StopDownload(); };
  hooks.download_running = [&control] { return control.running(); };
}

void DownloadControl::StartDownload() {
  ShowRunButtons(frame_, false, true, false, true);
  WaitForWorker();  // a stopped run may still be letting go of its files
  RunSnapshot snapshot = TakeSnapshot(frame_, state_, retrieval_.Source());
  gate_ = std::make_shared<RunGate>();
  tally_ = std::make_shared<RunTally>();
  stop_shown_ = false;
  running_.store(true);
  worker_done_.store(false);
  try {
    worker_ = std::jthread([this, snapshot = std::move(snapshot), gate = gate_, tally = tally_] {
      DownloadRun(snapshot, *gate, *tally);
    });
  } catch (const std::system_error&) {
    running_.store(false);
    worker_done_.store(true);
    ShowRunButtons(frame_, true, false, false, false);
    frame_.ShowMessageBox("无法启动下载线程，请稍后再试"_gbk);
  }
}

void DownloadControl::PauseDownload() {
  frame_.SetVisible(mw::按钮_下载选中, false);
  frame_.SetVisible(mw::按钮_暂停线程, false);
  frame_.SetVisible(mw::按钮_继续下载, true);
  if (gate_) gate_->Pause();
  Log(frame_, "执行了暂停下载功能\r\n"_gbk);
}

void DownloadControl::ContinueDownload() {
  frame_.SetVisible(mw::按钮_下载选中, false);
  frame_.SetVisible(mw::按钮_暂停线程, true);
  frame_.SetVisible(mw::按钮_继续下载, false);
  if (gate_) gate_->Continue();
  Log(frame_, "执行了继续下载功能\r\n"_gbk);
}

void DownloadControl::StopDownload() {
  if (asking_stop_) return;  // the question is open already (a second Ctrl-C, say)
  asking_stop_ = true;
  if (gate_) gate_->Hold();
  const int answer =
      frame_.ShowMessageBox("您真的要彻底结束下载么？"_gbk, frame::kButtonsOkCancel, "警告！"_gbk);
  asking_stop_ = false;
  if (answer != 0) {              // anything but OK
    if (gate_) gate_->Release();  // a paused run stays paused
    return;
  }
  if (gate_) gate_->Stop();
  // What the run sent before the stop is shown before the stop's own line;
  // what the worker sends while it unwinds is not shown. A worker that ends
  // at once may have sent its end already: that is shown after the line.
  stopping_ = true;
  frame_.DrainTasks();
  stopping_ = false;
  stop_shown_ = true;
  ShowRunButtons(frame_, true, false, false, false);
  Log(frame_, "执行了结束下载\r\n"_gbk);
  if (held_end_) {
    const RunEvent end = std::move(*held_end_);
    held_end_.reset();
    Deliver(end);
  }
}

void DownloadControl::Deliver(const RunEvent& event) {
  const auto* finished = std::get_if<RunFinished>(&event);
  if (stop_shown_ && finished == nullptr) return;
  if (stopping_ && finished != nullptr) {
    held_end_ = event;
    return;
  }
  view_.Show(event);
  if (finished != nullptr) running_.store(false);
  if (observer_) observer_(event);
  if (finished != nullptr && on_finished_) on_finished_(finished->stopped);
}

void DownloadControl::DownloadRun(const RunSnapshot& snapshot, RunGate& gate, RunTally& tally) {
  frame::Frame& frame = frame_;
  // A stop aborts the transfer under way on this thread at once.
  platform::ScopedAbortSignal abort(gate.abort_signal());
  auto post = [this, &frame](RunEvent event) {
    frame.Post([this, event = std::move(event)] { Deliver(event); });
  };
  bool stopped = false;
  try {
    RunContext run(snapshot, gate, tally, post, pauses_);
    run.Emit(RunStarted{snapshot.numbers, snapshot.selection, snapshot.save_root});
    for (size_t j = 0; j < snapshot.selection.size(); ++j) {
      DownloadAlbum(run, snapshot.selection[j], static_cast<int>(j + 1), &OrderedPages);
    }
    gate.SafePoint();  // a stop confirmed during the last album ends the run here
  } catch (const StopSignal&) {
    stopped = true;
  }
  post(
      RunFinished{stopped, tally.Figures(), tally.Failures(), tally.NotAsked(), snapshot.manifest});
  worker_done_.store(true);
  frame.Post([] {});  // wakes a UI thread waiting for the worker's end
}

}  // namespace download
