// One run of tiepic-cli over one address: the desktop program's handlers
// driven through the headless back end. It fills the address box, presses
// the find button and waits for the album rows; when listing it prints them,
// otherwise it ticks the chosen rows, sets the save folder and options,
// presses the download button and follows the run to its end. An interrupt
// presses the stop button (confirmed) during a download and ends the run
// before one.
//
// Thread safety: RunAddress runs on the thread that calls it, which becomes
// the frame's UI thread; Interrupts may be asked from any thread.
#ifndef TIEPIC_APP_CLI_RUN_H_
#define TIEPIC_APP_CLI_RUN_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/cli_console.h"
#include "app/cli_options.h"
#include "discovery/retrieval_trouble.h"

namespace cli {

// Takes SIGINT and SIGTERM off every thread and hands them to the routine of
// the run under way. The signals are read from a signalfd on a thread of its
// own, so nothing runs inside a signal handler; an eventfd ends that thread
// at once when the program is done.
class Interrupts {
 public:
  // REQUIRES: no other thread has been started yet (they inherit the mask).
  Interrupts();
  ~Interrupts();  // ends and joins the watcher
  Interrupts(const Interrupts&) = delete;
  Interrupts& operator=(const Interrupts&) = delete;

  // `routine` runs on the watcher's thread at each signal; empty: none. It
  // must be quick: SetRoutine waits for a routine that is running.
  void SetRoutine(std::function<void()> routine);
  bool interrupted() const { return interrupted_.load(); }
  // Returns true iff a signal came within `limit`.
  bool Wait(std::chrono::seconds limit);

 private:
  void Watch();

  std::mutex mutex_;
  std::condition_variable signalled_;
  std::function<void()> routine_;
  std::atomic<bool> interrupted_{false};
  int signal_fd_ = -1;
  int end_fd_ = -1;
  std::jthread watcher_;
};

struct RunResult {
  // kNoSuchRows: --albums named rows the list does not have; kNoPictures:
  // the thread has none, so there was nothing to download.
  enum class End { kDone, kUnrecognised, kStopped, kNotStarted, kNoSuchRows, kNoPictures };
  End end = End::kDone;
  std::set<int> missing_rows;           // kNoSuchRows: the rows --albums named in vain
  int rows = 0;                         // the rows the album list has
  discovery::RetrievalTrouble trouble;  // the retrieval's requests that brought nothing
  int albums = 0;  // albums the download reached
  int refused = 0;  // refusals that persisted through their tries (retrieval and download)
  Counts counts;
  int64_t record_failures = 0;  // albums whose repeat-download record could not be written
  double seconds = 0;       // from the find button to the end
  std::string save_folder;  // UTF-8: where the pictures went
  // The pictures the download could not save, one UTF-8 line each: album,
  // picture id and reason, separated by tabs.
  std::vector<std::string> failures;
  // The albums with pictures never asked for, one UTF-8 line each: album and
  // the number of pictures, separated by a tab.
  std::vector<std::string> not_asked;
};

// Runs `options` (an address to download or list). The settings file and
// the records are the program's (platform::SetRunDirectory decides).
RunResult RunAddress(const Options& options, Console& console, Interrupts& interrupts);

// Runs --check-service: each interface's line on standard output; returns
// the exit status (kExitServiceChanged when any interface does not fit).
int CheckService(const Options& options, Console& console);

// The exit status of a run; quiet runs say why a status is not 0.
int ExitStatus(const RunResult& result, const Options& options, Console& console);

}  // namespace cli

#endif  // TIEPIC_APP_CLI_RUN_H_
