// The time limits of one HTTP transfer, phase by phase: looking up the name,
// connecting, sending the request and receiving the response each have a
// limit of their own, so a slow lookup never eats into the time the server
// is given to answer. The transport reports the phase changes and progress;
// this says when the current phase has run out of time.
//
// Thread safety: a PhaseClock belongs to the one transfer that drives it.
#ifndef TIEPIC_PLATFORM_TRANSFER_PHASES_H_
#define TIEPIC_PLATFORM_TRANSFER_PHASES_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace platform {

enum class TransferPhase {
  kResolve,  // from the start of a hop until its host name is resolved
  kConnect,  // until the connection (with its TLS handshake) is ready
  kSend,     // while the request goes out
  kReceive   // while the response is awaited or arrives
};

// Milliseconds per phase; 0 means no limit.
struct PhaseLimits {
  int64_t resolve_ms = 0;
  int64_t connect_ms = 0;
  int64_t send_ms = 0;
  int64_t receive_ms = 0;
};

// The receive limit restarts with every byte, so a server sending one byte
// now and then would hold a transfer for ever. This also ends one once a
// whole receive-limit window has brought fewer than kMinBytes bytes.
class ByteRateWatch {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr uint64_t kMinBytes = 64;

  explicit ByteRateWatch(int64_t window_ms) : window_(window_ms) {}

  // Returns true iff the last full window (counted from now) brought fewer
  // than kMinBytes of the `received` total. At most ~17 samples are kept.
  bool TooSlow(Clock::time_point now, uint64_t received);
  // Forgets the samples: the next window starts with the next call.
  void Restart() { samples_.clear(); }

 private:
  std::chrono::milliseconds window_;
  std::deque<std::pair<Clock::time_point, uint64_t>> samples_;
};

class PhaseClock {
 public:
  using Clock = std::chrono::steady_clock;

  PhaseClock(const PhaseLimits& limits, Clock::time_point now);

  // Moves to `phase`, whose time starts now; nothing changes when the
  // transfer is in that phase already (a second connection attempt does not
  // restart the connect limit, nor a byte the receive window).
  void Enter(TransferPhase phase, Clock::time_point now);
  // Bytes moved in the current phase: a send or receive limit counts the
  // silence since the last progress.
  void Progress(Clock::time_point now) { since_ = now; }

  // Milliseconds left to the current phase (0 or less once it has passed its
  // limit, or the receive window brought too few of the `received` bytes),
  // or nullopt when the phase has no limit.
  std::optional<int64_t> Left(Clock::time_point now, uint64_t received);

  TransferPhase phase() const { return phase_; }

 private:
  PhaseLimits limits_;
  TransferPhase phase_ = TransferPhase::kResolve;
  Clock::time_point since_;
  ByteRateWatch rate_;
};

}  // namespace platform

#endif  // TIEPIC_PLATFORM_TRANSFER_PHASES_H_
