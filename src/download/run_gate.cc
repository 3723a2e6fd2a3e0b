// The pause and stop gate.
#include "download/run_gate.h"

#include <algorithm>
#include <chrono>

namespace download {

void RunGate::Pause() {
  std::lock_guard lock(mu_);
  paused_ = true;
}

void RunGate::Continue() {
  {
    std::lock_guard lock(mu_);
    paused_ = false;
  }
  cv_.notify_all();
}

void RunGate::Hold() {
  std::lock_guard lock(mu_);
  held_ = true;
}

void RunGate::Release() {
  {
    std::lock_guard lock(mu_);
    held_ = false;
  }
  cv_.notify_all();
}

void RunGate::Stop() {
  {
    std::lock_guard lock(mu_);
    stopped_ = true;
  }
  abort_.Abort();
  cv_.notify_all();
}

bool RunGate::stopped() const {
  std::lock_guard lock(mu_);
  return stopped_;
}

void RunGate::SafePoint() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [this] { return stopped_ || (!paused_ && !held_); });
  if (stopped_) throw StopSignal{};
}

void RunGate::Wait(int64_t ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<int64_t>(ms, 0));
  std::unique_lock lock(mu_);
  while (true) {
    cv_.wait(lock, [this] { return stopped_ || (!paused_ && !held_); });
    if (stopped_) throw StopSignal{};
    if (std::chrono::steady_clock::now() >= deadline) return;
    cv_.wait_until(lock, deadline, [this] { return stopped_ || paused_ || held_; });
  }
}

void RunGate::WaitWhileHeld(std::stop_token stop) {
  std::unique_lock lock(mu_);
  cv_.wait(lock, stop, [this] { return stopped_ || (!paused_ && !held_); });
}

}  // namespace download
