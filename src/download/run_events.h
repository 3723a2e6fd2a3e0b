// What a download run tells its front ends, in the order it happens. The
// engine emits these on its worker; the desktop program's view turns them
// into the main window's controls, labels and log (run_view.h), and
// tiepic-cli draws its progress bar and summary from them and ends on
// RunFinished. No front end reads the run's progress back out of a control.
//
// Texts are GBK. An event is a value: it is copied to the UI thread.
#ifndef TIEPIC_DOWNLOAD_RUN_EVENTS_H_
#define TIEPIC_DOWNLOAD_RUN_EVENTS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "download/run_snapshot.h"
#include "download/run_tally.h"

namespace download {

// Where a picture stands on the album's bar and labels.
struct Progress {
  int position = 0;    // of 进度条1
  rt::Text percent{};  // of 标签_进度条比例
  rt::Text label{};    // of 标签_第多少张照片
};

// The run has read its snapshot and begins.
struct RunStarted {
  rt::Text numbers{};  // the ticked rows' numbers, each followed by "、"; "" for none
  std::vector<SelectionItem> albums{};
  rt::Text save_root{};
};

// Album `number` (from 1) of the selection begins.
struct AlbumStarted {
  int number = 0;
  SelectionItem album{};
};

// A line of the operation log about the album under way (its record, its
// opening line, its folder), CR LF pairs included.
struct AlbumNote {
  rt::Text line{};
};

// The album's bar starts again, at 0 of `maximum`.
struct BarReset {
  int64_t maximum = 0;
};

// A picture's turn has come; its progress shows before it is fetched.
struct PictureStarted {
  Progress progress{};
};

enum class PictureOutcome {
  kSaved,
  kSkipped,  // the record holds it
  kFailed,
  kPassed,  // listed, but nothing to do: no picture id, or the one just done shown again
};

struct PictureDone {
  int64_t number = 0;  // its place in the album, its file's number
  rt::Text id{};
  PictureOutcome outcome = PictureOutcome::kPassed;
  rt::Text why{};   // kFailed: the reason, e.g. "无法连接"
  rt::Text file{};  // kSaved: the file's name in the album folder
  int64_t bytes = 0;
  std::optional<Progress> progress{};  // shown after the picture, when given
  RunFigures figures{};                // the run's counters with this picture
};

// A picture-list page stayed empty or held no JSON object.
struct PageUnread {
  int page = 0;
};

// The service refused a request: the line says what, how, and when it is
// asked again (or that it is given up).
struct RefusalWait {
  rt::Text line{};
};

struct AlbumFinished {
  rt::Text line{};  // "---完成相册《NAME》下载" + CR LF CR LF
  AlbumNotAsked not_asked{};  // pictures of unread pages: never asked for
  // Pictures new since the album's last run, as its folder's manifest tells;
  // none when the run keeps no manifests.
  std::optional<int64_t> added{};
};

// The run has ended: by itself, or by a confirmed stop.
struct RunFinished {
  bool stopped = false;
  RunFigures figures{};
  std::vector<FailedPicture> failures{};
  std::vector<AlbumNotAsked> not_asked{};
  bool manifest = false;  // the album folders kept manifests: figures.added counts
};

using RunEvent = std::variant<RunStarted, AlbumStarted, AlbumNote, BarReset, PictureStarted,
                              PictureDone, PageUnread, RefusalWait, AlbumFinished, RunFinished>;

// Where the engine sends its events. Called on the download worker.
using RunEvents = std::function<void(RunEvent event)>;

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_RUN_EVENTS_H_
