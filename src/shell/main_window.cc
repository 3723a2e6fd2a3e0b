// Entry sequence, event wiring and the toolbar handler.
#include "shell/main_window.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "frame/window_templates.h"
#include "shell/settings.h"
#include "shell/update_check.h"
#include "web/request_helpers.h"

namespace shell {
namespace {

// How a responsive wait waits: in short slices, letting the calling thread's
// events run between them. On a worker that is its safe point, where pause
// and stop take hold.
void WaitLettingEventsRun(int64_t max_ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp<int64_t>(max_ms, 0, 20)));
  if (frame::Frame* frame = frame::Frame::Current()) frame->ProcessEvents();
}

}  // namespace

namespace mw = frame::main_window;
namespace fw = frame::find_window;
using frame::EventKey;

Shell::Shell(frame::Frame& frame) : frame_(frame) {
  hooks_.update_check = [this] { UpdateCheck(frame_, state_); };
  Wire();
}

Shell::~Shell() {
  // The update check may be waiting for the UI thread, which is this one:
  // serve it until it is done instead of blocking on it.
  frame_.ServeUntil([this] { return !update_check_running_.load(); });
}

void Shell::Start() {
  frame_.RegisterCleanup([this] { Cleanup(); });
  web::SetEventWaitHook(&WaitLettingEventsRun);
  frame_.LoadStartWindow(frame::MainWindowTemplate());
  if (load_cookies_at_start_) {
    LoadServiceCookies(frame_, state_);
    LoadServiceProfile(frame_, state_);
  }
}

int Shell::Run() {
  Start();
  return frame_.Run();
}

void Shell::Cleanup() {
  if (hooks_.cleanup) hooks_.cleanup();
  // The program-wide texts stay: the update check and download workers may
  // still read them, and they go with the process.
}

void Shell::OnHook(frame::ControlRef source, EventKey key, std::function<void()> Hooks::*hook) {
  frame_.SetHandler(source, key, [this, hook](const frame::Event&) {
    if (const auto& routine = hooks_.*hook) routine();
  });
}

void Shell::Wire() {
  frame_.SetHandler(mw::kWindow, EventKey::kCreated,
                    [this](const frame::Event&) { MainWindowCreated(frame_, state_); });
  frame_.SetHandler(mw::工具条1, EventKey::kToolbarClicked,
                    [this](const frame::Event& e) { ToolbarClicked(e.argument); });

  for (auto [button, hook] : {std::pair{mw::按钮_获取相册封面, &Hooks::find_albums},
                              std::pair{mw::按钮_下载选中, &Hooks::start_download}}) {
    frame_.SetHandler(button, EventKey::kClicked, [this, hook = hook](const frame::Event&) {
      if (!RunShowing()) ClearLastRunProgress();
      if (const auto& routine = hooks_.*hook) routine();
    });
  }
  OnHook(mw::按钮_暂停线程, EventKey::kClicked, &Hooks::pause_download);
  OnHook(mw::按钮_继续下载, EventKey::kClicked, &Hooks::continue_download);
  OnHook(mw::按钮_结束下载, EventKey::kClicked, &Hooks::stop_download);
  OnHook(mw::按钮_打开目录, EventKey::kClicked, &Hooks::open_save_folder);
  OnHook(mw::选择框_全选, EventKey::kClicked, &Hooks::select_all);
  OnHook(mw::选择框_反选, EventKey::kClicked, &Hooks::invert_ticks);
  OnHook(mw::按钮_检查服务, EventKey::kClicked, &Hooks::check_service);
  // The check waits for the version page, up to a minute and more when it
  // does not answer: it runs on a worker so that the window keeps answering.
  frame_.SetHandler(mw::按钮_检测更新, EventKey::kClicked,
                    [this](const frame::Event&) { StartUpdateCheck(); });

  frame_.SetHandler(mw::按钮_选择位置, EventKey::kClicked,
                    [this](const frame::Event&) { ChooseSaveFolder(frame_, state_); });
  const std::pair<frame::ControlRef, const rt::Text*> options[] = {
      {mw::选择框_下载记录, &KeyRecord()},
      {mw::选择框_文件名, &KeyDescriptionName()},
      {mw::选择框_下载帖子全部图片, &KeyThreadAll()},
  };
  for (const auto& [box, key] : options) {
    frame_.SetHandler(box, EventKey::kClicked, [this, box = box, key = key](const frame::Event&) {
      StoreOption(frame_, state_, box, *key);
    });
  }
  frame_.SetHandler(mw::标签_查找, EventKey::kLeftButtonDown, [this](const frame::Event&) {
    frame_.LoadWindow(frame::FindWindowTemplate());
  });
  frame_.SetHandler(mw::标签13, EventKey::kLeftButtonDown, [this](const frame::Event&) {
    frame_.OpenExternal(HomePage(state_.service.version_page));
  });
  frame_.SetHandler(mw::标签5, EventKey::kLeftButtonDown, [this](const frame::Event&) {
    frame_.OpenExternal(PromotionPage(state_.service.version_page));
  });
  WireFindWindow();
}

void Shell::WireFindWindow() {
  OnHook(fw::按钮_查找, EventKey::kClicked, &Hooks::find_from_top);
  OnHook(fw::按钮_查找下一个, EventKey::kClicked, &Hooks::find_next);
  OnHook(fw::按钮_查找上一个, EventKey::kClicked, &Hooks::find_previous);
}

bool Shell::RunShowing() {
  // The start button is hidden exactly while a run goes on or is paused.
  return hooks_.download_running && hooks_.download_running() &&
         !frame_.Control(mw::按钮_下载选中)->visible;
}

void Shell::ClearLastRunProgress() {
  if (frame_.Control(mw::进度条1)->position != 0) frame_.SetProgressPosition(mw::进度条1, 0);
  for (frame::ControlRef label : {mw::标签_进度条比例, mw::标签_选择了相册数量,
                                  mw::标签_正在下载相册, mw::标签_第多少张照片}) {
    if (!frame_.GetText(label).empty()) frame_.SetCaption(label, "");
  }
}

bool Shell::MayCloseWindow(uint32_t window_id) {
  if (window_id != mw::kId || !RunShowing()) return true;
  if (hooks_.stop_download) hooks_.stop_download();
  // OK shows the start button again at once; Cancel leaves the run's buttons.
  if (RunShowing()) return false;
  // The stopped worker unwinds at its next safe point, closing its files
  // and record; the program ends only after that.
  frame_.ServeUntil([this] { return !hooks_.download_running(); });
  return true;
}

void Shell::StartUpdateCheck() {
  // A check already under way answers for this press too.
  if (!hooks_.update_check || update_check_running_.load()) return;
  if (update_check_thread_.joinable()) update_check_thread_.join();
  update_check_running_.store(true);
  update_check_thread_ = std::jthread([this, check = hooks_.update_check] {
    check();
    update_check_running_.store(false);
  });
}

void Shell::ToolbarClicked(int button) {
  switch (button) {
    case mw::kToolbarFetch:
      frame_.SetCurrentPage(mw::选择夹1, 0);
      break;
    case mw::kToolbarSettings:
      frame_.SetCurrentPage(mw::选择夹1, 1);
      // The check runs by itself only at the first visit in a run.
      if (state_.help_page_visits == 1) {
        StartUpdateCheck();
        ++state_.help_page_visits;
      }
      break;
    case mw::kToolbarFeedback:
      frame_.OpenExternal(FeedbackPage(state_.service.version_page));
      break;
    default:
      break;
  }
}

}  // namespace shell
