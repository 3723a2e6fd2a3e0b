// tiepic-cli's output: log, message boxes, progress bar and summary.
#include "app/cli_console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/gbk.h"

namespace cli {
namespace {

void Write(FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) {
    return size.ws_col;
  }
  return 80;
}

// Columns a terminal gives the code point: two for the wide East Asian ones.
int Columns(char32_t c) {
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                    (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                    (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
  return wide ? 2 : 1;
}

// `utf8` cut to at most `max_columns` terminal columns, control characters
// shown as '?'; *used gets the columns taken.
std::string FitColumns(std::string_view utf8, int max_columns, int* used) {
  std::string out;
  int columns = 0;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    const int width = Columns(c);
    if (columns + width > max_columns) break;
    if (c < 0x20 || c == 0x7F) {
      out += '?';
    } else {
      out.append(utf8.substr(i, length));
    }
    columns += width;
    i += length;
  }
  *used = columns;
  return out;
}

std::string Clock(int64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(
        text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
        static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

}  // namespace

std::string PrintBytes(int64_t bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
  } else if (bytes < int64_t{1024} * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", bytes / (1024.0 * 1024.0 * 1024.0));
  }
  return text;
}

std::string PrintSummary(std::string_view ending, int albums, const Counts& counts,
                         double seconds) {
  char time[32];
  std::snprintf(time, sizeof time, "%.1f s", seconds);
  return std::string(ending) + ": " + std::to_string(albums) +
         (albums == 1 ? " album; " : " albums; ") + std::to_string(counts.saved) +
         (counts.saved == 1 ? " picture saved, " : " pictures saved, ") +
         std::to_string(counts.skipped) + " skipped as already saved, " +
         std::to_string(counts.failed) + " failed; " + PrintBytes(counts.bytes) + " in " + time +
         PrintNotAsked(counts, "; ") +
         (counts.added >= 0 ? "; " + std::to_string(counts.added) + " new since the last run"
                            : std::string());
}

std::string PrintNotAsked(const Counts& counts, std::string_view lead) {
  if (counts.not_asked == 0 && counts.unread_pages == 0) return {};
  return std::string(lead) + std::to_string(counts.not_asked) +
         (counts.not_asked == 1 ? " picture" : " pictures") + " not asked for, " +
         std::to_string(counts.unread_pages) + " picture-list " +
         (counts.unread_pages == 1 ? "page" : "pages") + " unread";
}

Console::Console(bool quiet, bool log_to_stderr, bool bar)
    : quiet_(quiet), log_stream_(log_to_stderr ? stderr : stdout), bar_(bar && !quiet) {}

bool Console::ErrorIsTerminal() {
  const char* term = std::getenv("TERM");
  return ::isatty(STDERR_FILENO) == 1 &&
         (term == nullptr || std::strcmp(term, "dumb") != 0);
}

void Console::Erase() {
  if (!drawn_) return;
  Write(stderr, "\r\033[K");
  drawn_ = false;
}

void Console::Draw() {
  if (!bar_ || albums_.empty() || mid_line_) return;
  last_bar_ = BarLine();
  Write(stderr, "\r" + last_bar_ + "\033[K");
  drawn_ = true;
}

void Console::Log(std::string_view gbk) {
  if (quiet_ || gbk.empty()) return;
  Erase();
  Write(log_stream_, rt::ToUtf8(gbk));
  mid_line_ = gbk.back() != '\n';
  Draw();
}

void Console::MessageBox(std::string_view caption_gbk, std::string_view text_gbk) {
  if (quiet_) return;
  Erase();
  Write(stderr, "[" + rt::ToUtf8(caption_gbk) + "] " + rt::ToUtf8(text_gbk) + "\n");
  Draw();
}

void Console::Print(std::string_view utf8) {
  if (quiet_) return;
  Erase();
  Write(stdout, std::string(utf8) + "\n");
  Draw();
}

void Console::Error(std::string_view utf8) {
  Erase();
  Write(stderr, std::string(utf8) + "\n");
  Draw();
}

void Console::BeginProgress(std::vector<AlbumRow> albums,
                            std::function<Counts()> counts) {
  albums_ = std::move(albums);
  counts_ = std::move(counts);
  total_ = 0;
  for (const AlbumRow& a : albums_) total_ += std::max<int64_t>(a.count, 0);
  album_ = 0;
  started_ = std::chrono::steady_clock::now();
}

void Console::Album(int number) {
  album_ = number;
  Progress();
}

void Console::Progress() {
  if (!bar_ || albums_.empty() || mid_line_) return;
  if (drawn_ && BarLine() == last_bar_) return;
  Draw();
}

void Console::EndProgress() {
  Erase();
  albums_.clear();
  counts_ = nullptr;
}

std::string Console::BarLine() const {
  const Counts counts = counts_ ? counts_() : Counts();
  const int width = TerminalWidth() - 1;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const int64_t done = counts.done();
  const int64_t total = std::max(total_, done);
  std::string right =
      " " + std::to_string(done) + "/" + std::to_string(total) + " pictures  " +
      PrintBytes(elapsed > 0 ? static_cast<int64_t>(counts.bytes / elapsed) : 0) + "/s  ";
  right +=
      done > 0 && total > done
          ? Clock(static_cast<int64_t>(elapsed * (total - done) / done + 0.5)) + " left"
          : std::string(done >= total && total > 0 ? "0:00 left" : "--:-- left");
  const int number = std::clamp(album_, 1, static_cast<int>(albums_.size()));
  const std::string prefix =
      "album " + std::to_string(number) + "/" + std::to_string(albums_.size()) + " ";
  int name_columns = 0;
  const std::string left =
      prefix + FitColumns(albums_[number - 1].name, 24, &name_columns) + " ";
  const int used =
      static_cast<int>(prefix.size()) + name_columns + 1;  // columns, not bytes
  int bar = width - used - static_cast<int>(right.size()) - 2;
  if (bar < 8) return FitColumns(left + right.substr(1), width, &name_columns);
  const int filled = total > 0 ? static_cast<int>(bar * done / total) : 0;
  return left + "[" + std::string(filled, '#') + std::string(bar - filled, '-') + "]" +
         right;
}

}  // namespace cli
