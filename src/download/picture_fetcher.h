// Picture fetches of one album, run ahead of their turn. The download loop
// adds each page's picture addresses to the plan, then takes each picture's
// answer when its turn comes, in order; meanwhile up to `parallel` fetches
// run on threads of their own. Everything the loop decides, names, writes and logs
// stays on the download worker in album order, so a run with fetches ahead
// gives the files, log lines and record of a sequential one.
//
// The window bounds the network and memory: at most `parallel` transfers
// are in flight, and at most `parallel` answers of threads are in flight or
// waiting to be taken. A fetch starts only while the run is neither paused
// nor held at a stop question; a stop aborts every transfer in flight through
// the run's abort signal, which the fetch threads adopt from the thread that
// made the fetcher.
//
// Thread safety: Add and Take belong to the thread that made the fetcher.
#ifndef TIEPIC_DOWNLOAD_PICTURE_FETCHER_H_
#define TIEPIC_DOWNLOAD_PICTURE_FETCHER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/http_transport_curl.h"
#include "runtime/value.h"
#include "web/requests.h"

namespace download {

class RunGate;

// What one picture request brought: the body (empty on any failure), the
// HTTP status (0 when no answer came) and the raw response headers. A fetch
// ahead is one request: what the answer means (a refusal to ask again, a
// failure to log) is decided at the picture's turn, on the download worker.
struct PictureAnswer {
  rt::Bytes body;
  int status = 0;
  rt::Text headers;
  rt::Text final_address;  // where the answer came from, after redirects
  web::RequestFailure failure = web::RequestFailure::kNone;  // why no answer came
};

class PictureFetcher {
 public:
  // `parallel` is clamped to 1..8; 1 fetches each picture at its turn on the
  // calling thread and starts no thread. `gate` (may be null) holds fetches
  // while the run is paused.
  // `request` sends one picture request; it must be safe on any thread and
  // touch no window.
  PictureFetcher(int parallel, RunGate* gate,
                 std::function<PictureAnswer(const rt::Text&)> request);
  // Drops what was not taken and waits for the fetch threads; a transfer
  // still running ends first (promptly, when a stop has aborted it).
  ~PictureFetcher();
  PictureFetcher(const PictureFetcher&) = delete;
  PictureFetcher& operator=(const PictureFetcher&) = delete;

  // Adds pictures to the plan, in order; an empty address is never fetched
  // ahead. Returns the index of the first one: a plan's indexes count every
  // picture added since the fetcher was made.
  size_t Add(std::vector<rt::Text> addresses);

  // The answer for `address`, the plan's picture `index`: the fetch ahead
  // when one ran for it, else one made now on the calling thread. Pictures
  // of the plan before `index` not taken yet are given up. REQUIRES: index
  // greater than that of the Take before.
  PictureAnswer Take(size_t index, const rt::Text& address);

  // One request now, on the calling thread, outside the plan but within the
  // bound of transfers in flight (a refused picture asked for again).
  PictureAnswer Request(const rt::Text& address);

  int parallel() const { return parallel_; }

 private:
  enum class State { kWaiting, kRunning, kDone, kGivenUp };
  struct Slot {
    rt::Text address;
    State state = State::kWaiting;
    PictureAnswer answer;
  };

  // Fetches `address` on the calling thread once fewer than `parallel`
  // transfers are in flight; `lock` holds mu_.
  PictureAnswer FetchHere(std::unique_lock<std::mutex> lock, const rt::Text& address);
  // Each REQUIRES: mu_ held.
  Slot* SlotAt(size_t index);  // null when not in the plan or dropped
  void GiveUp(Slot& slot);
  void GiveUpBefore(size_t index);
  void Trim();  // drops the given-up slots at the plan's front
  // Returns true iff a fetch may start now.
  bool Startable();

  void FetchLoop(std::stop_token stop);

  const int parallel_;
  RunGate* const gate_;
  const std::function<PictureAnswer(const rt::Text&)> request_;
  platform::AbortSignal* const abort_signal_;

  std::mutex mu_;
  std::condition_variable_any changed_;
  std::deque<Slot> slots_;  // the plan from index base_ on
  size_t base_ = 0;
  size_t added_ = 0;       // pictures added to the plan
  size_t next_start_ = 0;  // the first slot no thread has looked at
  size_t next_take_ = 0;   // the first slot not taken or given up
  int outstanding_ = 0;    // answers running or done and not yet taken
  int running_ = 0;        // transfers in flight, those of Take included
  std::vector<std::jthread> threads_;
};

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_PICTURE_FETCHER_H_
