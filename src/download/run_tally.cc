// The run's counters and its account of failed pictures.
#include "download/run_tally.h"

#include <utility>

namespace download {

void RunTally::CountSaved(std::string_view album_id, std::string_view id, int64_t size) {
  saved.fetch_add(1);
  bytes.fetch_add(size);
  std::lock_guard lock(failures_mutex_);
  if (std::erase_if(failures_, [&](const FailedPicture& known) {
        return known.album_id == album_id && known.id == id;
      }) > 0) {
    failed.fetch_sub(1);
  }
}

bool RunTally::CountFailed(FailedPicture failure) {
  std::lock_guard lock(failures_mutex_);
  for (FailedPicture& known : failures_) {
    if (known.album_id == failure.album_id && known.id == failure.id) {
      known.why = std::move(failure.why);
      return false;
    }
  }
  failures_.push_back(std::move(failure));
  failed.fetch_add(1);
  return true;
}

void RunTally::CountNotAsked(AlbumNotAsked album) {
  not_asked.fetch_add(album.pictures);
  std::lock_guard lock(failures_mutex_);
  not_asked_.push_back(std::move(album));
}

std::vector<AlbumNotAsked> RunTally::NotAsked() const {
  std::lock_guard lock(failures_mutex_);
  return not_asked_;
}

std::vector<FailedPicture> RunTally::Failures() const {
  std::lock_guard lock(failures_mutex_);
  return failures_;
}

RunFigures RunTally::Figures() const {
  return {saved.load(),     skipped.load(),         failed.load(),
          bytes.load(),     unread_pages.load(),    refused.load(),
          not_asked.load(), record_failures.load(), added.load()};
}

}  // namespace download
