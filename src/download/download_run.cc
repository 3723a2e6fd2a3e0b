// The run on its worker, and the start, pause, continue and stop buttons.
#include "download/download_run.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>

#include "download/album_downloads.h"
#include "frame/window_templates.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace download {
namespace {

namespace mw = rt::main_window;
using rt::operator""_gbk;

constexpr std::string_view kSeparator = "--@@--";

void Log(rt::Frame& frame, std::string_view a, std::string_view b = {},
         std::string_view c = {}) {
  frame.AppendEditText(mw::编辑框_操作记录, {a, b, c});
}


// The run's closing account of the pictures it could not save, one line
// each; nothing when every picture was saved.
void LogFailures(rt::Frame& frame, const std::vector<FailedPicture>& failures) {
  if (failures.empty()) return;
  frame.AppendEditText(mw::编辑框_操作记录, {"未能保存的图片共"_gbk, std::to_string(failures.size()),
                                             "张：\r\n"_gbk});
  // One line each, whatever a hostile name or id holds: a control character
  // (never part of a double-byte character) shows as '?'.
  auto one_line = [](rt::Text text) {
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
    return text;
  };
  for (const FailedPicture& failure : failures) {
    frame.AppendEditText(mw::编辑框_操作记录,
                         {"相册《"_gbk, one_line(failure.album), "》图片"_gbk,
                          one_line(failure.id), "：["_gbk, failure.why, "]\r\n"_gbk});
  }
  frame.AppendEditText(mw::编辑框_操作记录,
                       {"勾选防止重复下载后再下载一次，只会下载这些图片\r\n\r\n"_gbk});
}

}  // namespace

rt::Text PackSelectionItem(const SelectionItem& item) {
  return item.count + rt::Text(kSeparator) + item.id + rt::Text(kSeparator) + item.name;
}

SelectionItem SplitSelectionItem(std::string_view packed) {
  std::vector<rt::Text> fields = rt::SplitText(packed, kSeparator, 3);
  fields.resize(3);
  return {fields[0], fields[1], fields[2]};
}

DownloadControl::DownloadControl(rt::Frame& frame, const shell::ProgramState& state,
                                 const discovery::AlbumRetrieval& retrieval,
                                 DownloadPauses pauses)
    : frame_(frame), state_(state), retrieval_(retrieval), pauses_(pauses) {}

DownloadControl::~DownloadControl() {
  if (gate_) gate_->Stop();
  WaitForWorker();
}

void DownloadControl::WaitForWorker() {
  // The worker may be waiting for the UI thread, which is this one: serve it
  // until it has ended instead of blocking on it.
  while (running_.load()) {
    frame_.DrainTasks();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (worker_.joinable()) worker_.join();
}

void DownloadControl::ShowButtons(bool run_shown, bool pause_shown, bool continue_shown,
                                  bool stop_shown) {
  frame_.SetVisible(mw::按钮_下载选中, run_shown);
  frame_.SetVisible(mw::按钮_暂停线程, pause_shown);
  frame_.SetVisible(mw::按钮_继续下载, continue_shown);
  frame_.SetVisible(mw::按钮_结束下载, stop_shown);
}

void WireDownloadButtons(shell::Hooks& hooks, DownloadControl& control) {
  hooks.start_download = [&control] { control.StartDownload(); };
  hooks.pause_download = [&control] { control.PauseDownload(); };
  hooks.continue_download = [&control] { control.ContinueDownload(); };
  hooks.stop_download = [&control] { control.StopDownload(); };
}

void DownloadControl::StartDownload() {
  ShowButtons(false, true, false, true);
  WaitForWorker();  // a stopped run may still be letting go of its files
  gate_ = std::make_shared<RunGate>();
  tally_ = std::make_shared<RunTally>();
  running_.store(true);
  try {
    worker_ = std::jthread([this, gate = gate_] { DownloadRun(*gate); });
  } catch (const std::system_error&) {
    running_.store(false);
    ShowButtons(true, false, false, false);
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
  if (gate_) gate_->Hold();
  const int answer = frame_.ShowMessageBox("您真的要彻底结束下载么？"_gbk, rt::kButtonsOkCancel,
                                           "警告！"_gbk);
  if (answer != 0) {  // anything but OK
    if (gate_) gate_->Release();  // a paused run stays paused
    return;
  }
  if (gate_) gate_->Stop();
  ShowButtons(true, false, false, false);
  Log(frame_, "执行了结束下载\r\n"_gbk);
}

void DownloadControl::DownloadRun(RunGate& gate) {
  rt::Frame::SetSafePointHook([&gate] { gate.SafePoint(); });
  platform::ScopedAbortSignal abort(gate.abort_signal());
  bool stopped = false;
  try {
    RunContext run{.frame = frame_,
                   .source = retrieval_.Source(),
                   .picture_host = state_.service.picture_host,
                   .web_host = state_.service.web_host,
                   .pauses = pauses_,
                   .tally = *tally_,
                   .parallel = state_.parallel_fetches,
                   .gate = &gate};
    const rt::ControlRef list = mw::超级列表框1;
    std::vector<rt::Text> selection;
    rt::Text numbers;
    const int rows = frame_.ListRowCount(list);
    for (int r = 0; r < rows; ++r) {
      if (frame_.ListGetTick(list, r) != rt::kTicked) continue;
      numbers += frame_.ListGetCell(list, r, mw::kColumnNumber) + "、"_gbk;
      SelectionItem item{frame_.ListGetCell(list, r, mw::kColumnCount),
                         frame_.ListGetCell(list, r, mw::kColumnId),
                         rt::TrimText(frame_.ListGetCell(list, r, mw::kColumnName))};
      if (!item.count.empty() && !item.id.empty()) selection.push_back(PackSelectionItem(item));
      frame_.ProcessEvents();
    }
    if (numbers.empty()) {
      Log(frame_, "当前未选择任何相册"_gbk, "\r\n\r\n");
    } else {
      Log(frame_, "当前被选择相册编号:"_gbk, numbers, "\r\n\r\n");
    }
    frame_.SetCaption(mw::标签_选择了相册数量,
                      "总共需下载["_gbk + std::to_string(selection.size()) + "]个相册"_gbk);
    const bool guide = rt::FindText(run.source.list_base_address, "photo/bw/picture", {},
                                    /*ignore_case=*/true) > 0;
    for (size_t j = 0; j < selection.size(); ++j) {
      frame_.SetCaption(mw::标签_正在下载相册,
                        "下载到第["_gbk + std::to_string(j + 1) + "]个相册"_gbk);
      SelectionItem item = SplitSelectionItem(selection[j]);
      if (guide) {
        DownloadGuidePictures(run, item.count, item.id, item.name);
      } else {
        DownloadListPictures(run, item.count, item.id, item.name);
      }
    }
    gate.SafePoint();  // a stop confirmed during the last album ends the run here
    LogFailures(frame_, tally_->Failures());
    ShowButtons(true, false, false, false);
    Log(frame_, "-------全部下载完毕--------\r\n\r\n"_gbk);
    frame_.SetCaption(mw::标签_第多少张照片, "下载完成"_gbk);
    frame_.ShowMessageBox("全部下载完毕"_gbk);
  } catch (const StopSignal&) {
    stopped = true;
  }
  rt::Frame::SetSafePointHook(nullptr);
  if (on_finished_) frame_.Post([finished = on_finished_, stopped] { finished(stopped); });
  running_.store(false);
}

}  // namespace download
