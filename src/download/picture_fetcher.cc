// Picture fetches run ahead of their turn within a bounded window.
#include "download/picture_fetcher.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "download/run_gate.h"
#include "web/requests.h"

namespace download {

PictureAnswer RequestPicture(const rt::Text& address) {
  PictureAnswer answer;
  web::RequestOptions options;
  options.status = &answer.status;
  answer.body = web::WinHttpObjectRequest(address, options);
  return answer;
}

PictureFetcher::PictureFetcher(int parallel, RunGate* gate,
                               std::function<PictureAnswer(const rt::Text&)> request)
    : parallel_(std::clamp(parallel, 1, 8)),
      gate_(gate),
      request_(std::move(request)),
      abort_signal_(platform::CurrentAbortSignal()) {
  if (parallel_ == 1) return;
  for (int i = 0; i < parallel_; ++i) {
    try {
      threads_.emplace_back([this](std::stop_token stop) { FetchLoop(stop); });
    } catch (const std::system_error&) {
      break;  // fewer threads run ahead; Take fetches what none has started
    }
  }
}

PictureFetcher::~PictureFetcher() {
  for (std::jthread& thread : threads_) thread.request_stop();
  changed_.notify_all();
  threads_.clear();  // joins: a running transfer ends first
}

void PictureFetcher::Plan(std::vector<rt::Text> addresses) {
  if (parallel_ == 1) return;
  std::lock_guard lock(mu_);
  GiveUpBefore(slots_.size());
  // Answers still running for the old plan keep their place in the window
  // until they end: FetchLoop counts them off by the plan they belong to.
  ++plan_;
  slots_.clear();
  for (rt::Text& address : addresses) slots_.push_back({std::move(address), State::kWaiting, {}});
  next_start_ = next_take_ = 0;
  changed_.notify_all();
}

PictureAnswer PictureFetcher::Take(size_t index, const rt::Text& address) {
  std::unique_lock lock(mu_);
  const bool planned =
      index < slots_.size() && !address.empty() && slots_[index].address == address;
  GiveUpBefore(std::min(index, slots_.size()));
  if (planned) {
    next_take_ = index + 1;
    Slot& slot = slots_[index];
    if (slot.state != State::kWaiting) {
      changed_.wait(lock, [&] { return slot.state == State::kDone; });
      PictureAnswer answer = std::move(slot.answer);
      slot.state = State::kGivenUp;
      --outstanding_;
      changed_.notify_all();
      return answer;
    }
    slot.state = State::kGivenUp;  // no thread has started it: it is fetched here
  }
  // A fetch made here counts among those in flight too.
  changed_.wait(lock, [this] { return running_ < parallel_; });
  ++running_;
  lock.unlock();
  PictureAnswer answer = request_(address);
  lock.lock();
  --running_;
  changed_.notify_all();
  return answer;
}

void PictureFetcher::GiveUpBefore(size_t index) {
  for (size_t k = next_take_; k < index; ++k) {
    Slot& slot = slots_[k];
    if (slot.state == State::kDone) {
      slot.answer = {};
      --outstanding_;
    }
    // A running fetch counts itself off when it ends.
    slot.state = State::kGivenUp;
  }
  next_take_ = std::max(next_take_, index);
  changed_.notify_all();
}

bool PictureFetcher::Startable() {
  next_start_ = std::max(next_start_, next_take_);
  while (next_start_ < slots_.size() && slots_[next_start_].address.empty()) ++next_start_;
  return next_start_ < slots_.size() && outstanding_ < parallel_ && running_ < parallel_;
}

void PictureFetcher::FetchLoop(std::stop_token stop) {
  platform::ScopedAbortSignal adopt(abort_signal_);
  while (true) {
    {
      std::unique_lock lock(mu_);
      if (!changed_.wait(lock, stop, [this] { return Startable(); })) return;
    }
    // A paused run starts no fetch; one already running ends on its own.
    if (gate_ != nullptr) gate_->WaitWhileHeld(stop);
    std::unique_lock lock(mu_);
    if (stop.stop_requested()) return;
    if (!Startable()) continue;
    const size_t index = next_start_++;
    const uint64_t plan = plan_;
    slots_[index].state = State::kRunning;
    ++outstanding_;
    ++running_;
    const rt::Text address = slots_[index].address;
    lock.unlock();

    PictureAnswer answer = request_(address);

    lock.lock();
    --running_;
    if (plan != plan_ || slots_[index].state == State::kGivenUp) {
      --outstanding_;
    } else {
      slots_[index].answer = std::move(answer);
      slots_[index].state = State::kDone;
    }
    changed_.notify_all();
  }
}

}  // namespace download
