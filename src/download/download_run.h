// The download run and its four buttons: start reads the run's snapshot (the
// ticked albums, the folder, the options) and downloads the albums one after
// the other on a worker thread; pause holds the worker at its next safe point
// until continue; stop asks for confirmation with the worker held still and,
// on OK, ends it promptly (its transfer aborted, its record closed, no cut
// picture under a final name) without the run's closing lines.
//
// The worker never waits for the UI thread: it sends its events there
// (run_events.h), where the main window's view shows them and an observer
// (tiepic-cli) follows them.
//
// Thread safety: the handlers, the constructor and the destructor run on the
// frame's UI thread; running() and tally() may be read from any thread.
#ifndef TIEPIC_DOWNLOAD_DOWNLOAD_RUN_H_
#define TIEPIC_DOWNLOAD_DOWNLOAD_RUN_H_

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "discovery/album_retrieval.h"
#include "download/run_context.h"
#include "download/run_events.h"
#include "download/run_gate.h"
#include "download/run_tally.h"
#include "download/run_view.h"
#include "frame/frame.h"
#include "shell/main_window.h"
#include "shell/program_state.h"

namespace download {

class DownloadControl {
 public:
  // `state` gives the hosts and `retrieval` the list address and board
  // title; both outlive this object.
  DownloadControl(frame::Frame& frame, const shell::ProgramState& state,
                  const discovery::AlbumRetrieval& retrieval, DownloadPauses pauses = {});
  // Stops a run still going and waits for its worker, serving its calls.
  ~DownloadControl();
  DownloadControl(const DownloadControl&) = delete;
  DownloadControl& operator=(const DownloadControl&) = delete;

  void StartDownload();
  void PauseDownload();
  void ContinueDownload();
  void StopDownload();

  // Sees every event of a run on the UI thread, after the main window has
  // shown it; a stopped run's events after the stop are not shown, but
  // RunFinished always comes.
  void SetObserver(std::function<void(const RunEvent&)> observer) {
    observer_ = std::move(observer);
  }
  // Runs on the UI thread once a run has ended; `stopped` tells a confirmed
  // stop from a run that ended by itself.
  void SetOnFinished(std::function<void(bool stopped)> routine) {
    on_finished_ = std::move(routine);
  }

  // True from the start button until the run's end has been shown.
  bool running() const { return running_.load(); }
  // What the last run has done so far.
  const RunTally& tally() const { return *tally_; }

 private:
  void DownloadRun(const RunSnapshot& snapshot, RunGate& gate, RunTally& tally);
  void Deliver(const RunEvent& event);
  void WaitForWorker();

  frame::Frame& frame_;
  const shell::ProgramState& state_;
  const discovery::AlbumRetrieval& retrieval_;
  const DownloadPauses pauses_;
  RunView view_;
  std::function<void(const RunEvent&)> observer_;
  std::function<void(bool)> on_finished_;

  std::shared_ptr<RunGate> gate_;
  std::shared_ptr<RunTally> tally_ = std::make_shared<RunTally>();
  bool asking_stop_ = false;  // the stop question is open
  bool stop_shown_ = false;   // the stop was confirmed: the run's late events stay unseen
  // While a confirmed stop shows what the run sent before it, the run's end
  // waits here, so that the stop's line always comes before the end.
  bool stopping_ = false;
  std::optional<RunEvent> held_end_;
  std::atomic<bool> running_{false};
  std::atomic<bool> worker_done_{true};
  std::jthread worker_;
};

// Sets the shell's hooks of the four run buttons to `control`, and tells the
// shell whether a run goes on (asked before the main window closes).
void WireDownloadButtons(shell::Hooks& hooks, DownloadControl& control);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_DOWNLOAD_RUN_H_
