// The desktop program: the Qt back end under the frame, the shell's windows
// and handlers on top, and the entry sequence that runs until the last
// window closes, then ends the process without unwinding.
#include <QApplication>

#include "discovery/discovery.h"
#include "download/download_run.h"
#include "frame/frame.h"
#include "gui/ui_qt.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // Qt's own options only; settings come from the INI file
  platform::qt::QtBackend backend;
  rt::Frame frame(backend);
  shell::Shell shell(frame);
  discovery::Discovery discovery(frame, shell);
  download::DownloadControl downloads(frame, shell.state(), discovery.retrieval());
  download::WireDownloadButtons(shell.hooks(), downloads);
  shell.Start();
  frame.RunThenExit();  // workers may still run: nothing is unwound under them
}
