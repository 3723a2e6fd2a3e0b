// The pause and stop gate of a download run. The album pipeline passes it at
// the safe points it names -- before each picture, after each transfer, after
// each page, and through every wait it makes (Wait) -- and nowhere else: there
// the worker waits while the run is paused or while the user is asked whether
// to stop, and a confirmed stop unwinds it with StopSignal, so that every
// file, record and transfer it holds is let go by its owner. A stop also
// aborts the transfer in progress at once.
//
// States, not errors: running, paused, held (the stop question is open; a
// paused run stays paused underneath), stopped (final).
//
// Thread safety: every member may be called from any thread; SafePoint and
// Wait belong to the worker.
#ifndef TIEPIC_DOWNLOAD_RUN_GATE_H_
#define TIEPIC_DOWNLOAD_RUN_GATE_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>

#include "platform/http_transport_curl.h"

namespace download {

// Thrown on the worker at a safe point once the run is stopped; caught only
// where the worker begins.
struct StopSignal {};

class RunGate {
 public:
  void Pause();
  void Continue();
  // Holds the worker still while the user decides about a stop; Release
  // lets it go on (a paused run stays paused).
  void Hold();
  void Release();
  // Ends the run: aborts its transfer and wakes the worker to unwind.
  void Stop();
  bool stopped() const;

  // Worker: waits while paused or held; throws StopSignal once stopped.
  void SafePoint();
  // Worker: waits `ms` milliseconds, and longer while the run is paused or
  // held (a wait that ran out during a pause ends on continue); throws
  // StopSignal at once when the run is stopped.
  void Wait(int64_t ms);
  // Any thread: waits while paused or held, until stopped or `stop` is
  // requested; never throws.
  void WaitWhileHeld(std::stop_token stop);

  platform::AbortSignal* abort_signal() { return &abort_; }

 private:
  mutable std::mutex mu_;
  std::condition_variable_any cv_;
  bool paused_ = false;
  bool held_ = false;
  bool stopped_ = false;
  platform::AbortSignal abort_;
};

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_RUN_GATE_H_
