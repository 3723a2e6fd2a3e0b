// The fatal-error report and its default reporter.
#include "runtime/fatal.h"

#include <unistd.h>

#include <atomic>

#include "runtime/gbk.h"

namespace rt {
namespace {

[[noreturn]] void EndWithCode255() { ::_exit(255); }

void WriteToStandardError(const std::string& gbk_report) {
  std::string utf8 = ToUtf8(gbk_report);
  size_t done = 0;
  while (done < utf8.size()) {
    ssize_t n = ::write(STDERR_FILENO, utf8.data() + done, utf8.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void WaitForTheEnd() {
  for (;;) ::pause();
}

std::atomic<FatalReporter> reporter{WriteToStandardError};
std::atomic<FatalWaiter> waiter{WaitForTheEnd};
std::atomic<bool> reporting{false};

}  // namespace

std::string FatalReportText(int code, std::string_view gbk_message) {
  std::string text = "运行时出错!\r\n\r\n"_gbk;
  if (code != 0) text += "错误代码："_gbk + std::to_string(code) + "\r\n\r\n";
  if (!gbk_message.empty()) {
    text += "错误信息："_gbk;
    text += gbk_message;
    text += "\r\n";
  }
  return text;
}

void SetFatalReporter(FatalReporter r) { reporter.store(r ? r : WriteToStandardError); }

void SetFatalWaiter(FatalWaiter w) { waiter.store(w ? w : WaitForTheEnd); }

bool FatalErrorRaised() { return reporting.load(); }

void FatalError(std::string_view gbk_message, int code) {
  // Only the first fatal error is reported; a second one from another thread
  // while the first is on screen waits to be ended with the process (the UI
  // thread serving its queue meanwhile, where the first report may wait).
  // A fatal error raised while this thread shows the report (showing it may
  // need memory that is not there) ends the process at once instead.
  static thread_local bool reporting_here = false;
  if (reporting_here) EndWithCode255();
  if (reporting.exchange(true)) {
    waiter.load()();
    WaitForTheEnd();
  }
  reporting_here = true;
  reporter.load()(FatalReportText(code, gbk_message));
  EndWithCode255();
}

}  // namespace rt
