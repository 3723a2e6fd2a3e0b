// Picture fetches run ahead of their turn within a bounded window.
#include "download/picture_fetcher.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "download/run_gate.h"

namespace download {

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

size_t PictureFetcher::Add(std::vector<rt::Text> addresses) {
  std::lock_guard lock(mu_);
  const size_t first = added_;
  added_ += addresses.size();
  if (parallel_ == 1) return first;
  for (rt::Text& address : addresses) slots_.push_back({std::move(address), State::kWaiting, {}});
  changed_.notify_all();
  return first;
}

PictureFetcher::Slot* PictureFetcher::SlotAt(size_t index) {
  return index >= base_ && index - base_ < slots_.size() ? &slots_[index - base_] : nullptr;
}

PictureAnswer PictureFetcher::Take(size_t index, const rt::Text& address) {
  std::unique_lock lock(mu_);
  GiveUpBefore(index);
  Slot* slot = SlotAt(index);
  if (slot != nullptr) {
    next_take_ = std::max(next_take_, index + 1);
    if (address.empty() || slot->address != address) {
      GiveUp(*slot);
    } else if (slot->state == State::kWaiting) {
      slot->state = State::kGivenUp;  // no thread has started it: it is fetched here
    } else {
      changed_.wait(lock, [&] { return slot->state == State::kDone; });
      PictureAnswer answer = std::move(slot->answer);
      slot->state = State::kGivenUp;
      --outstanding_;
      Trim();
      changed_.notify_all();
      return answer;
    }
    Trim();
  }
  return FetchHere(std::move(lock), address);
}

PictureAnswer PictureFetcher::Request(const rt::Text& address) {
  return FetchHere(std::unique_lock(mu_), address);
}

PictureAnswer PictureFetcher::FetchHere(std::unique_lock<std::mutex> lock,
                                        const rt::Text& address) {
  // A fetch made here counts among those in flight too, until it ends,
  // also by an exception.
  changed_.wait(lock, [this] { return running_ < parallel_; });
  ++running_;
  lock.unlock();
  struct Ended {
    PictureFetcher* fetcher;
    ~Ended() {
      std::lock_guard lock(fetcher->mu_);
      --fetcher->running_;
      fetcher->changed_.notify_all();
    }
  } ended{this};
  // A paused run, or one held at the stop question, starts no transfer; a
  // stop lets it go, and the run's abort signal ends the transfer at once.
  if (gate_ != nullptr) gate_->WaitWhileHeld({});
  return request_(address);
}

void PictureFetcher::GiveUp(Slot& slot) {
  if (slot.state == State::kDone) {
    slot.answer = {};
    --outstanding_;
  }
  // A running fetch counts itself off when it ends.
  slot.state = State::kGivenUp;
}

void PictureFetcher::GiveUpBefore(size_t index) {
  for (size_t k = std::max(next_take_, base_); k < index; ++k) {
    if (Slot* slot = SlotAt(k)) GiveUp(*slot);
  }
  next_take_ = std::max(next_take_, index);
  Trim();
  changed_.notify_all();
}

void PictureFetcher::Trim() {
  while (!slots_.empty() && base_ < next_take_ && slots_.front().state == State::kGivenUp) {
    slots_.pop_front();
    ++base_;
  }
}

bool PictureFetcher::Startable() {
  next_start_ = std::max({next_start_, next_take_, base_});
  while (SlotAt(next_start_) != nullptr && SlotAt(next_start_)->address.empty()) ++next_start_;
  return SlotAt(next_start_) != nullptr && outstanding_ < parallel_ && running_ < parallel_;
}

void PictureFetcher::FetchLoop(std::stop_token stop) {
  platform::ScopedAbortSignal adopt(abort_signal_);
  while (true) {
    std::unique_lock lock(mu_);
    if (!changed_.wait(lock, stop, [this] { return Startable(); })) return;
    const size_t index = next_start_++;
    Slot& slot = *SlotAt(index);
    slot.state = State::kRunning;
    ++outstanding_;
    ++running_;
    const rt::Text address = slot.address;
    lock.unlock();

    // A paused run, or one held at the stop question, starts no transfer;
    // one already running ends on its own.
    if (gate_ != nullptr) gate_->WaitWhileHeld(stop);
    PictureAnswer answer;
    if (!stop.stop_requested()) {
      try {
        answer = request_(address);
      } catch (...) {
        answer = {};  // out of memory, say: a failed picture, not a dead program
      }
    }

    lock.lock();
    --running_;
    Slot* still = SlotAt(index);  // a slot given up may be gone
    if (still == nullptr || still->state == State::kGivenUp) {
      --outstanding_;
      Trim();
    } else {
      still->answer = std::move(answer);
      still->state = State::kDone;
    }
    changed_.notify_all();
  }
}

}  // namespace download
