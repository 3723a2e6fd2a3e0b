// The desktop program: the Qt back end under the frame, the shell's windows
// and handlers on top, and the entry sequence that runs until the last
// window closes, then ends the process without unwinding. Besides Qt's own
// options it takes --home DIR, a folder for the settings file and records.
#include <malloc.h>

#include <QApplication>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "discovery/discovery.h"
#include "download/download_run.h"
#include "download/service_check.h"
#include "frame/frame.h"
#include "gui/ui_qt.h"
#include "runtime/file_commands.h"
#include "shell/main_window.h"
#include "shell/settings.h"

namespace {

constexpr char kUsage[] =
    "Usage: tiepic [--home DIR] [Qt options]\n"
    "Save the pictures of Tieba boards' photo albums and threads.\n"
    "\n"
    "  --home DIR   keep the settings file (配置.ini) and the records in DIR\n"
    "               (default: beside the program, or ~/.config/tiepic and\n"
    "               ~/.local/share/tiepic for an installed program)\n"
    "  -h, --help   show this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
  // Each picture passes through the heap once or twice; kept rather than
  // handed back to the system after every picture, the freed memory is not
  // faulted in again for the next one (about 0.4 ms a 100 KB picture).
  mallopt(M_TRIM_THRESHOLD, 4 << 20);
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "-h" || std::string_view(argv[i]) == "--help") {
      std::fputs(kUsage, stdout);  // also without a display
      return 0;
    }
  }
  QApplication app(argc, argv);  // takes Qt's own options out of argv
  std::optional<std::string> home;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--home" && i + 1 < argc) {
      home = argv[++i];
    } else {
      std::fprintf(stderr, "tiepic: unknown argument %s (see tiepic --help)\n", argv[i]);
      return 2;
    }
  }
  gui::QtBackend backend;
  std::optional<frame::Frame> frame_storage;
  if (home) {
    frame_storage.emplace(backend, *home);
  } else {
    frame_storage.emplace(backend);
  }
  frame::Frame& frame = *frame_storage;
  shell::Shell shell(frame);
  // The settings may shorten the waits after a refusal or an empty page
  // (for a stand-in).
  const rt::Text ini = rt::SettingsDirectory() + "/" + shell::IniFileName();
  const int refusal_wait = shell::ReadRefusalWaitMs(ini);
  const int retry_wait = shell::ReadRetryWaitMs(ini);
  discovery::Discovery discovery(
      frame, shell, {.refusal_first_wait_ms = refusal_wait, .empty_page_retry_ms = retry_wait});
  download::DownloadControl downloads(
      frame, shell.state(), discovery.retrieval(),
      {.empty_page_retry_ms = retry_wait, .refusal_first_wait_ms = refusal_wait});
  download::WireDownloadButtons(shell.hooks(), downloads);
  download::ServiceCheckControl service_check(frame, shell.state(), [&] {
    return downloads.running() || discovery.retrieval().running();
  });
  download::WireServiceCheck(shell.hooks(), service_check);
  // Closing the main window during a run asks first, as the stop button does.
  backend.SetCloseGuard([&shell](uint32_t window) { return shell.MayCloseWindow(window); });
  shell.Start();
  frame.RunThenExit();  // workers may still run: nothing is unwound under them
}
