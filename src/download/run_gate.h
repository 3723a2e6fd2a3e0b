// The pause and stop gate of a download run. The worker passes it at its safe
// points (every ProcessEvents and responsive wait on the worker, between
// requests and file writes): there it waits while the run is paused or while
// the user is asked whether to stop, and a confirmed stop unwinds it with
// StopSignal, so that every file, record and transfer it holds is let go by
// its owner. A stop also aborts the transfer in progress at once.
//
// Thread safety: every member may be called from any thread; SafePoint belongs
// to the worker.
#ifndef TIEPIC_DOWNLOAD_RUN_GATE_H_
#define TIEPIC_DOWNLOAD_RUN_GATE_H_

#include <condition_variable>
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
