// The one fatal-error report of the runtime. Everything that cannot go on
// (a zero divisor, a bad data kind, a failed allocation, the frame's own
// checks) ends here: the report text is built, shown, and the process ends
// with exit code -1 (255) without running the cleanup routine.
//
// Until a window back end installs its reporter, the report is written to
// standard error as UTF-8.
//
// Thread safety: FatalError may be called from any thread. SetFatalReporter
// and SetFatalWaiter are meant for start-up, before other threads run.
#ifndef TIEPIC_RUNTIME_FATAL_H_
#define TIEPIC_RUNTIME_FATAL_H_

#include <string>
#include <string_view>

namespace rt {

// "运行时出错!\r\n\r\n", then "错误代码：<code>\r\n\r\n" when code is not 0,
// then "错误信息：<message>\r\n" when the message is not empty. GBK.
std::string FatalReportText(int code, std::string_view gbk_message);

// Shows the report (GBK text); must not return. The default writes it to
// standard error and ends the process with exit code 255.
using FatalReporter = void (*)(const std::string& gbk_report);
void SetFatalReporter(FatalReporter reporter);

// What a thread does when it raises a fatal error while another thread is
// already reporting one; must not return. The default waits for the process
// to end. A UI thread must keep serving its queue instead, or a report that
// waits for it is never shown.
using FatalWaiter = void (*)();
void SetFatalWaiter(FatalWaiter waiter);

// Returns true iff a fatal error has been raised in this process; from then
// on the cleanup routine must not run.
bool FatalErrorRaised();

[[noreturn]] void FatalError(std::string_view gbk_message, int code = 0);

}  // namespace rt

#endif  // TIEPIC_RUNTIME_FATAL_H_
