// Phase limits of a transfer: which limit applies now and how much of it is
// left.
#include "platform/transfer_phases.h"

namespace platform {

bool ByteRateWatch::TooSlow(Clock::time_point now, uint64_t received) {
  if (samples_.empty() || now - samples_.back().first >= window_ / 16) {
    samples_.emplace_back(now, received);
  }
  while (samples_.size() >= 2 && now - samples_[1].first >= window_) samples_.pop_front();
  if (now - samples_.front().first < window_) return false;
  return received - samples_.front().second < kMinBytes;
}

PhaseClock::PhaseClock(const PhaseLimits& limits, Clock::time_point now)
    : limits_(limits), since_(now), rate_(limits.receive_ms) {}

void PhaseClock::Enter(TransferPhase phase, Clock::time_point now) {
  if (phase == phase_) return;
  phase_ = phase;
  since_ = now;
  if (phase == TransferPhase::kReceive) rate_.Restart();
}

std::optional<int64_t> PhaseClock::Left(Clock::time_point now, uint64_t received) {
  int64_t limit = 0;
  switch (phase_) {
    case TransferPhase::kResolve: limit = limits_.resolve_ms; break;
    case TransferPhase::kConnect: limit = limits_.connect_ms; break;
    case TransferPhase::kSend: limit = limits_.send_ms; break;
    case TransferPhase::kReceive: limit = limits_.receive_ms; break;
  }
  if (limit <= 0) return std::nullopt;
  if (phase_ == TransferPhase::kReceive && rate_.TooSlow(now, received)) return 0;
  auto left = since_ + std::chrono::milliseconds(limit) - now;
  return std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
}

}  // namespace platform
