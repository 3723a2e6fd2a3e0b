// What tiepic-cli prints: the operation log (standard output, or standard
// error while listing), the message boxes as "[caption] text" lines, a
// progress bar on standard error when that is a terminal, the closing
// summary, and errors. Quiet prints the errors only. Texts arrive as GBK
// and leave as UTF-8.
//
// Thread safety: one thread (the frame's UI thread) uses a console.
#ifndef TIEPIC_APP_CLI_CONSOLE_H_
#define TIEPIC_APP_CLI_CONSOLE_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// One album of a download, as its row gave it.
struct AlbumRow {
  std::string name;  // UTF-8
  int64_t count = 0;
};

// What the progress bar and the summary show.
struct Counts {
  int64_t saved = 0;
  int64_t skipped = 0;
  int64_t failed = 0;
  int64_t bytes = 0;
  int64_t not_asked = 0;     // pictures never asked for: their list page stayed unread
  int64_t unread_pages = 0;  // picture-list pages that stayed unread
  int64_t added = -1;        // new since their album's last run; -1: no manifests kept
  int64_t done() const { return saved + skipped + failed; }
};

class Console {
 public:
  // The bar is drawn iff `bar` and not quiet.
  Console(bool quiet, bool log_to_stderr, bool bar);

  // True iff standard error is a terminal that can redraw a line.
  static bool ErrorIsTerminal();

  bool quiet() const { return quiet_; }
  // True iff the progress bar is drawn.
  bool drawing() const { return bar_; }

  void Log(std::string_view gbk);
  // "[caption] text" on standard error.
  void MessageBox(std::string_view caption_gbk, std::string_view text_gbk);
  // A line of this program's own (UTF-8) on standard output.
  void Print(std::string_view utf8);
  // A line on standard error, printed even when quiet.
  void Error(std::string_view utf8);

  // The download of `albums` has begun and `counts` tells how far it is;
  // Album(n) says the n-th (from 1) is under way; Progress redraws the bar.
  void BeginProgress(std::vector<AlbumRow> albums, std::function<Counts()> counts);
  void Album(int number);
  void Progress();
  void EndProgress();
  int album() const { return album_; }

 private:
  std::string BarLine() const;
  void Erase();
  void Draw();

  const bool quiet_;
  FILE* const log_stream_;
  const bool bar_;
  std::vector<AlbumRow> albums_;
  int64_t total_ = 0;
  int album_ = 0;
  bool drawn_ = false;     // the bar's line is on the terminal
  bool mid_line_ = false;  // the log's last text did not end its line
  std::string last_bar_;
  std::function<Counts()> counts_;
  std::chrono::steady_clock::time_point started_;
};

// "1.5 MB", "312.4 KB", "17 bytes".
std::string PrintBytes(int64_t bytes);

// The closing summary of a run, one line:
// "Done: 3 albums; 17 pictures saved, 2 skipped as already saved, 0 failed;
// 131.2 KB in 4.2 s", followed, when pages stayed unread, by "; 200 pictures
// not asked for, 1 picture-list page unread", and, when the album folders
// keep manifests, by "; 15 new since the last run".
std::string PrintSummary(std::string_view ending, int albums, const Counts& counts,
                         double seconds);
// `lead` + "200 pictures not asked for, 1 picture-list page unread"; "" when
// every page was read.
std::string PrintNotAsked(const Counts& counts, std::string_view lead);

}  // namespace cli

#endif  // TIEPIC_APP_CLI_CONSOLE_H_
