// The download run and its four buttons: start packs every ticked album row
// into a selection, logs and counts it, and downloads the albums one after
// the other on a worker thread; pause holds the worker at its next safe point
// until continue; stop asks for confirmation with the worker held still and,
// on OK, ends it promptly (its transfer aborted, its record closed, no cut
// picture under a final name) without the run's closing lines.
//
// Thread safety: the handlers, the constructor and the destructor run on the
// frame's UI thread; running() and tally() may be read from any thread.
#ifndef TIEPIC_DOWNLOAD_DOWNLOAD_RUN_H_
#define TIEPIC_DOWNLOAD_DOWNLOAD_RUN_H_

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "discovery/album_retrieval.h"
#include "download/album_download.h"
#include "download/run_gate.h"
#include "frame/frame.h"
#include "shell/main_window.h"
#include "shell/program_state.h"

namespace download {

// One ticked album row: picture count, album id and album name.
struct SelectionItem {
  rt::Text count;
  rt::Text id;
  rt::Text name;
};

// The selection item's text form, count + "--@@--" + id + "--@@--" + name,
// and back; a missing third field is an empty name.
rt::Text PackSelectionItem(const SelectionItem& item);
SelectionItem SplitSelectionItem(std::string_view packed);

class DownloadControl {
 public:
  // `state` gives the picture host and `retrieval` the list address and board
  // title; both outlive this object.
  DownloadControl(rt::Frame& frame, const shell::ProgramState& state,
                  const discovery::AlbumRetrieval& retrieval, DownloadPauses pauses = {});
  // Stops a run still going and waits for its worker, serving its calls.
  ~DownloadControl();
  DownloadControl(const DownloadControl&) = delete;
  DownloadControl& operator=(const DownloadControl&) = delete;

  void StartDownload();
  void PauseDownload();
  void ContinueDownload();
  void StopDownload();

  // Runs on the UI thread when a run's worker has ended; `stopped` tells a
  // confirmed stop from a run that ended by itself.
  void SetOnFinished(std::function<void(bool stopped)> routine) {
    on_finished_ = std::move(routine);
  }

  bool running() const { return running_.load(); }
  // What the last run has done so far.
  const RunTally& tally() const { return *tally_; }

 private:
  void DownloadRun(RunGate& gate);
  void ShowButtons(bool run_shown, bool pause_shown, bool continue_shown, bool stop_shown);
  void WaitForWorker();

  rt::Frame& frame_;
  const shell::ProgramState& state_;
  const discovery::AlbumRetrieval& retrieval_;
  const DownloadPauses pauses_;
  std::function<void(bool)> on_finished_;

  std::shared_ptr<RunGate> gate_;
  std::shared_ptr<RunTally> tally_ = std::make_shared<RunTally>();
  std::atomic<bool> running_{false};
  std::jthread worker_;
};

// Sets the shell's hooks of the four run buttons to `control`.
void WireDownloadButtons(shell::Hooks& hooks, DownloadControl& control);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_DOWNLOAD_RUN_H_
