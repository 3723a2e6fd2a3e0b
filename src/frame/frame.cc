// The frame's windows, events, message loop, UI-thread queue and fatal
// report. Property and list access live in frame_properties.cc.
#include "frame/frame.h"

#include <unistd.h>

#include <cfenv>
#include <chrono>
#include <cstdio>

#include "platform/file_system.h"
#include "runtime/fatal.h"
#include "runtime/gbk.h"

namespace frame {

using rt::FatalError;
using rt::FatalErrorRaised;
using rt::SetFatalReporter;
using rt::SetFatalWaiter;
using rt::ToUtf8;
using rt::operator""_gbk;

namespace {

std::atomic<Frame*> current_frame{nullptr};

void ReportThroughFrame(const std::string& gbk_report) {
  if (Frame* frame = current_frame.load()) frame->ReportFatal(gbk_report);
}

void WaitThroughFrame() {
  Frame* frame = current_frame.load();
  if (frame != nullptr && frame->OnUiThread()) frame->ServeQueueForever();
}

uint64_t Key(ControlRef ref) { return (uint64_t{ref.window} << 32) | ref.control; }

}  // namespace

Frame::Frame(UiBackend& backend) : backend_(backend), ui_thread_(std::this_thread::get_id()) {
  // Floating point as the logic expects it: rounding to nearest.
  std::fesetround(FE_TONEAREST);
  current_frame.store(this);
  SetFatalReporter(&ReportThroughFrame);
  SetFatalWaiter(&WaitThroughFrame);
  backend_.Attach(*this);
}

Frame::Frame(UiBackend& backend, const std::string& run_directory) : Frame(backend) {
  platform::SetRunDirectory(run_directory);
}

Frame::~Frame() {
  ending_.store(true);
  CancelQueuedTasks();
  for (auto& [id, window] : windows_) backend_.DestroyWindowView(id);
  windows_.clear();
  Frame* self = this;
  if (current_frame.compare_exchange_strong(self, nullptr)) {
    SetFatalReporter(nullptr);
    SetFatalWaiter(nullptr);
  }
}

Frame* Frame::Current() { return current_frame.load(); }

void Frame::RegisterCleanup(std::function<void()> routine) { cleanup_ = std::move(routine); }

void Frame::LoadStartWindow(const WindowTemplate& tmpl) {
  start_window_ = tmpl.id;
  if (!LoadWindow(tmpl)) FatalError("载入启动窗口失败"_gbk);
}

bool Frame::LoadWindow(const WindowTemplate& tmpl) {
  return OnUi([&] { return LoadOnUi(tmpl); });
}

bool Frame::LoadOnUi(const WindowTemplate& tmpl) {
  if (auto it = windows_.find(tmpl.id); it != windows_.end()) {
    backend_.BringToFront(tmpl.id);
    return true;
  }
  // No event reaches the logic while the window is being built.
  ++suspension_;
  auto [it, inserted] = windows_.emplace(tmpl.id, MakeWindowState(tmpl));
  bool created = backend_.CreateWindowView(it->second);
  --suspension_;
  if (!created) {
    windows_.erase(it);
    return false;
  }
  // The created handler may close the window again; it was created all the
  // same.
  DispatchEvent({tmpl.id, 0}, EventKey::kCreated);
  return true;
}

bool Frame::IsLoaded(uint32_t window_id) {
  return OnUi([&] { return windows_.count(window_id) != 0; });
}

void Frame::CloseWindow(uint32_t window_id) {
  OnUi([&] { CloseOnUi(window_id); });
}

void Frame::CloseOnUi(uint32_t window_id) {
  if (windows_.count(window_id) == 0) return;
  if (window_id == start_window_) {
    // The other windows belong to the program's main window and go with it.
    std::vector<uint32_t> others;
    for (const auto& [id, window] : windows_) {
      if (id != window_id) others.push_back(id);
    }
    for (uint32_t id : others) CloseOnUi(id);
  }
  backend_.DestroyWindowView(window_id);
  windows_.erase(window_id);
  if (windows_.empty()) {
    // The end begins now: calls queued by workers, and any they queue from
    // here on, are dropped instead of running against the closed windows.
    end_begun_ = true;
    CancelQueuedTasks();
    backend_.QuitLoop();
  }
}

int Frame::Run() {
  if (!windows_.empty()) backend_.RunLoop();
  EndSteps();
  return 0;
}

void Frame::RunThenExit() {
  int code = Run();
  // Workers may still be running: the process ends here rather than
  // unwinding the objects they use.
  std::fflush(nullptr);
  ::_exit(code);
}

void Frame::EndProgram(int code) {
  auto end = [this, code] {
    EndSteps();
    std::fflush(nullptr);
    ::_exit(code);
  };
  // From a worker the UI thread does the steps and ends the process itself,
  // so it never goes on with the logic after the end. When the end has
  // already begun, the worker ends the process directly.
  OnUi(end);
  std::fflush(nullptr);
  ::_exit(code);
}

void Frame::EndSteps() {
  if (ending_.exchange(true)) return;
  end_begun_ = true;
  ++suspension_;  // for good: no event reaches the logic from here on
  CancelQueuedTasks();
  auto cleanup = std::move(cleanup_);
  cleanup_ = nullptr;
  // A fatal error forgets the cleanup, also while its report still waits to
  // be shown.
  if (cleanup && !FatalErrorRaised()) cleanup();
  std::vector<uint32_t> ids;
  for (const auto& [id, window] : windows_) ids.push_back(id);
  for (uint32_t id : ids) backend_.DestroyWindowView(id);
  windows_.clear();
}

void Frame::SetHandler(ControlRef source, EventKey key, EventHandler handler) {
  handlers_[{Key(source), key}] = std::move(handler);
}

void Frame::DispatchEvent(ControlRef source, EventKey key, int argument) {
  if (suspension_.load() > 0) return;
  auto window = windows_.find(source.window);
  if (window == windows_.end()) FatalError("未找到引发事件的窗口"_gbk);
  if (source.control != 0) {
    const ControlState* control = window->second.Find(source.control);
    if (control == nullptr) FatalError("未找到引发事件的窗口组件"_gbk);
    if (!KindRaisesEvents(control->tmpl->kind)) FatalError("引发事件的窗口组件无效"_gbk);
  }
  auto handler = handlers_.find({Key(source), key});
  if (handler == handlers_.end() || !handler->second) return;
  ControlRef previous = current_source_;
  current_source_ = source;
  // A copy: the handler may replace itself.
  EventHandler run = handler->second;
  run(Event{source, key, argument});
  current_source_ = previous;
}

void Frame::ProcessEvents() {
  if (OnUiThread()) {
    DrainTasks();
    backend_.ProcessPending();
  }
}

void Frame::Post(std::function<void()> task) {
  bool wake = false;
  {
    std::lock_guard lock(mu_);
    if (!accepting_) return;
    tasks_.push_back(Task{std::move(task), nullptr});
    wake = !wake_pending_;
    wake_pending_ = true;
  }
  tasks_cv_.notify_one();
  if (wake) backend_.WakeUi();
}

void Frame::RunOnUiAndWait(const std::function<void()>& fn) {
  bool done = false;
  bool wake = false;
  {
    std::lock_guard lock(mu_);
    if (!accepting_) return;
    tasks_.push_back(Task{[&fn] { fn(); }, &done});
    wake = !wake_pending_;
    wake_pending_ = true;
  }
  tasks_cv_.notify_one();
  if (wake) backend_.WakeUi();
  std::unique_lock lock(mu_);
  done_cv_.wait(lock, [&] { return done; });
}

void Frame::DrainTasks() {
  size_t budget;
  {
    std::lock_guard lock(mu_);
    wake_pending_ = false;
    // Only what waits now: calls queued meanwhile get a wake of their own.
    budget = tasks_.size();
  }
  for (; budget > 0; --budget) {
    Task task;
    {
      std::lock_guard lock(mu_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task.run();
    if (task.done != nullptr) {
      std::lock_guard lock(mu_);
      *task.done = true;
    }
    if (task.done != nullptr) done_cv_.notify_all();
  }
}

void Frame::WaitAndDrainTasks() {
  {
    std::unique_lock lock(mu_);
    tasks_cv_.wait(lock, [&] { return !tasks_.empty() || !accepting_; });
  }
  DrainTasks();
}

void Frame::ServeUntil(const std::function<bool()>& done) {
  while (true) {
    DrainTasks();
    if (done()) return;
    std::unique_lock lock(mu_);
    // The wait's bound is a backstop for a worker that ends without a call,
    // and for a queue that takes no more calls.
    tasks_cv_.wait_for(lock, std::chrono::milliseconds(accepting_ ? 5 : 1),
                       [&] { return !tasks_.empty(); });
  }
}

void Frame::ServeQueueForever() {
  for (;;) {
    WaitAndDrainTasks();
    // Once the queue takes no more calls the wait returns at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void Frame::CancelQueuedTasks() {
  {
    std::lock_guard lock(mu_);
    accepting_ = false;
    for (Task& task : tasks_) {
      if (task.done != nullptr) *task.done = true;
    }
    tasks_.clear();
  }
  done_cv_.notify_all();
  tasks_cv_.notify_all();
}

void Frame::ReportFatal(const std::string& gbk_report) {
  // No further event reaches the logic, and the cleanup routine is forgotten.
  ++suspension_;
  bool shown = false;
  OnUi([&] {
    cleanup_ = nullptr;
    backend_.MessageBox(gbk_report, "错误"_gbk, kIconStop | kButtonsOk);
    shown = true;
  });
  // The loop has already stopped: the report still gets out, on stderr.
  if (!shown) {
    std::string utf8 = ToUtf8(gbk_report);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  }
}

}  // namespace frame
