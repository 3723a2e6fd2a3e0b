// tiepic-cli: the headless front end. It drives the same handlers as the
// desktop program through the headless back end: `--list ADDRESS` fills the
// address box, presses the find button, waits for the retrieval to end and
// prints the album rows. The operation log and message boxes go to standard
// error as they appear.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "discovery/discovery.h"
#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"

namespace {

namespace mw = rt::main_window;

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitUnrecognisedAddress = 3;

constexpr char kUsage[] =
    "usage: tiepic-cli --list ADDRESS [--web-host HOST[:PORT]] [--picture-host HOST[:PORT]]\n"
    "\n"
    "  --list ADDRESS        list the albums of a board or thread address, one per line:\n"
    "                        number, tick (1/0), picture count, album id, album name\n"
    "  --web-host HOST       the service's web host (overrides the settings file)\n"
    "  --picture-host HOST   the service's picture host (overrides the settings file)\n";

struct Options {
  std::string address;  // UTF-8
  std::string web_host;
  std::string picture_host;
};

// Returns true iff the arguments are a complete, known set.
bool ParseArguments(int argc, char** argv, Options* options) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--list" && has_value) {
      listing = true;
      options->address = argv[++i];
    } else if (arg == "--web-host" && has_value) {
      options->web_host = argv[++i];
    } else if (arg == "--picture-host" && has_value) {
      options->picture_host = argv[++i];
    } else {
      return false;
    }
  }
  return listing;
}

void WriteUtf8(FILE* stream, std::string_view gbk) {
  const std::string utf8 = rt::ToUtf8(gbk);
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

// A cell as one field of a tab-separated line: control characters (a tab or
// line break in a hostile album name) become '?'.
std::string Field(std::string_view gbk) {
  std::string utf8 = rt::ToUtf8(gbk);
  for (char& c : utf8) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return utf8;
}

void PrintRows(rt::Frame& frame) {
  const rt::ControlRef list = mw::超级列表框1;
  const int rows = frame.ListRowCount(list);
  for (int row = 0; row < rows; ++row) {
    const std::string line =
        Field(frame.ListGetCell(list, row, mw::kColumnNumber)) + "\t" +
        (frame.ListGetTick(list, row) == rt::kTicked ? "1" : "0") + "\t" +
        Field(frame.ListGetCell(list, row, mw::kColumnCount)) + "\t" +
        Field(frame.ListGetCell(list, row, mw::kColumnId)) + "\t" +
        Field(frame.ListGetCell(list, row, mw::kColumnName)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  rt::HeadlessBackend backend;
  backend.SetObserver({.text_appended = [](const rt::ControlState& c, std::string_view gbk) {
    if (c.window == mw::kId && c.tmpl->id == mw::编辑框_操作记录.control) WriteUtf8(stderr, gbk);
  }});
  rt::Frame frame(backend);
  shell::Shell shell(frame);
  discovery::Discovery discovery(frame, shell);
  shell.Start();
  shell::ServiceAddresses& service = shell.state().service;
  if (!options.web_host.empty()) service.web_host = options.web_host;
  if (!options.picture_host.empty()) service.picture_host = options.picture_host;

  discovery.retrieval().SetOnFinished([&frame] {
    PrintRows(frame);
    frame.CloseWindow(mw::kId);
  });
  frame.SetText(mw::编辑框_号码, rt::FromUtf8(options.address));
  frame.DispatchEvent(mw::按钮_获取相册封面, rt::EventKey::kClicked);
  if (!discovery.retrieval().running()) return kExitUsage;  // an empty address, already told
  frame.Run();
  return discovery.retrieval().last_kind() == discovery::AddressKind::kUnrecognised
             ? kExitUnrecognisedAddress
             : kExitOk;
}
