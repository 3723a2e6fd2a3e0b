// What a download run has done so far: its counters, and the pictures it
// could not save, kept for the run's closing account.
//
// Thread safety: the worker counts; the counters may be read from any thread,
// and the failures are guarded by a lock of their own.
#ifndef TIEPIC_DOWNLOAD_RUN_TALLY_H_
#define TIEPIC_DOWNLOAD_RUN_TALLY_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace download {

// A picture a run could not save: its album (as its row names it, and its
// id, which tells albums of one title apart), its id and why, GBK.
struct FailedPicture {
  rt::Text album;
  rt::Text album_id;
  rt::Text id;
  rt::Text why;
};

// An album some of whose pictures were never asked for: a page that would
// have listed them stayed unread.
struct AlbumNotAsked {
  rt::Text album;
  rt::Text album_id;
  int64_t pictures = 0;
};

// The counters of a run at one moment.
struct RunFigures {
  int64_t saved = 0;
  int64_t skipped = 0;
  int64_t failed = 0;
  int64_t bytes = 0;
  int64_t unread_pages = 0;
  int64_t refused = 0;
  // Pictures never asked for because a page that listed them stayed unread
  // (an album's count less the pictures its pages listed).
  int64_t not_asked = 0;
  // Albums whose repeat-download record could not be used or written: they
  // were downloaded without prevent-repeat, and what they saved is not
  // recorded.
  int64_t record_failures = 0;
  // Pictures saved into a file of their own that their album folder's
  // manifest did not hold: new since the album's last run.
  int64_t added = 0;
};

class RunTally {
 public:
  std::atomic<int64_t> saved{0};         // pictures written
  std::atomic<int64_t> skipped{0};       // already recorded, not fetched
  std::atomic<int64_t> failed{0};        // fetched or written without success
  std::atomic<int64_t> bytes{0};         // bytes of the pictures written
  std::atomic<int64_t> unread_pages{0};  // picture-list pages empty or not JSON
  std::atomic<int64_t> refused{0};  // requests whose refusal persisted through their tries
  std::atomic<int64_t> not_asked{0};  // pictures of unread pages, never asked for
  std::atomic<int64_t> record_failures{0};  // albums whose record was given up
  std::atomic<int64_t> added{0};            // new since their album's last run

  // Counts a picture saved, `size` bytes long; a failure of the same picture
  // earlier in the run (the guide shows a page's last picture again first on
  // the next page) is no longer one.
  void CountSaved(std::string_view album_id, std::string_view id, int64_t size);
  // Counts a failed picture once, however often it failed (a repeat takes
  // the latest reason). Returns true iff it was not among the failures yet.
  bool CountFailed(FailedPicture failure);

  // Counts `pictures` of an album never asked for.
  void CountNotAsked(AlbumNotAsked album);

  std::vector<FailedPicture> Failures() const;
  std::vector<AlbumNotAsked> NotAsked() const;
  RunFigures Figures() const;

 private:
  mutable std::mutex failures_mutex_;
  std::vector<FailedPicture> failures_;
  std::vector<AlbumNotAsked> not_asked_;
};

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_RUN_TALLY_H_
