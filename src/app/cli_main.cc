// tiepic-cli: the headless front end. It drives the same handlers as the
// desktop program through the headless back end: it fills the address box,
// presses the find button and waits for the album rows; with --list it
// prints them, otherwise it ticks the chosen rows, sets the save folder and
// options, presses the download button and follows the run to its end,
// printing the operation log. An interrupt (Ctrl-C) stops the run the way the
// stop button does, confirmed; one that comes while the albums are still
// being found ends the program at once, as nothing is open yet.
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <set>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/cli_options.h"
#include "discovery/discovery.h"
#include "download/download_run.h"
#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"

namespace {

namespace mw = rt::main_window;

constexpr int kExitOk = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnrecognisedAddress = 3;
constexpr int kExitStopped = 130;

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

// Ticks exactly the rows whose number is in `albums`.
void TickRows(rt::Frame& frame, const std::set<int>& albums) {
  const rt::ControlRef list = mw::超级列表框1;
  for (int row = 0; row < frame.ListRowCount(list); ++row) {
    const bool chosen = albums.contains(std::atoi(frame.ListGetCell(list, row, mw::kColumnNumber).c_str()));
    frame.ListSetTick(list, row, chosen ? rt::kTicked : rt::kUnticked);
  }
}

// Hands an interrupt to the UI thread: a press of the stop button once the
// download has begun (`downloading`, read and written on the UI thread
// only); before that the retrieval holds no file or record, and waiting for
// its requests could take minutes, so the program ends there. The signal is
// blocked in every thread and taken here with sigwait, so nothing runs
// inside a signal handler.
void WatchInterrupts(rt::Frame& frame, const sigset_t& signals, const bool& downloading) {
  std::thread([&frame, signals, &downloading] {
    int signal = 0;
    while (sigwait(&signals, &signal) == 0) {
      frame.Post([&frame, &downloading] {
        if (downloading) {
          frame.DispatchEvent(mw::按钮_结束下载, rt::EventKey::kClicked);
        } else {
          frame.EndProgram(kExitStopped);
        }
      });
    }
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const std::optional<cli::Options> parsed = cli::ParseOptions(arguments, &error);
  if (!parsed) {
    std::fprintf(stderr, "tiepic-cli: %s\n\n%s", error.c_str(), cli::kUsage);
    return kExitUsage;
  }
  const cli::Options& options = *parsed;
  if (!rt::FitsText(options.save_folder) || !rt::FitsText(options.address)) {
    std::fprintf(stderr, "tiepic-cli: the address or save folder holds characters GBK text cannot hold\n");
    return kExitUsage;
  }
  sigset_t interrupts;
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);  // before any thread starts

  rt::HeadlessBackend backend;
  FILE* log_stream = options.list_only ? stderr : stdout;
  backend.SetObserver({.text_appended = [log_stream](const rt::ControlState& c,
                                                     std::string_view gbk) {
    if (c.window == mw::kId && c.tmpl->id == mw::编辑框_操作记录.control) WriteUtf8(log_stream, gbk);
  }});
  std::optional<rt::Frame> frame_storage;
  if (options.home.empty()) {
    frame_storage.emplace(backend);
  } else {
    frame_storage.emplace(backend, options.home);
  }
  rt::Frame& frame = *frame_storage;
  shell::Shell shell(frame);
  discovery::Discovery discovery(frame, shell);
  download::DownloadControl downloads(frame, shell.state(), discovery.retrieval());
  download::WireDownloadButtons(shell.hooks(), downloads);
  shell.Start();

  shell::ServiceAddresses& service = shell.state().service;
  if (!options.web_host.empty()) service.web_host = options.web_host;
  if (!options.picture_host.empty()) service.picture_host = options.picture_host;
  if (!options.save_folder.empty()) frame.SetText(mw::编辑框_保存位置, rt::FromUtf8(options.save_folder));
  const std::pair<const std::optional<bool>&, rt::ControlRef> boxes[] = {
      {options.prevent_repeat, mw::选择框_下载记录},
      {options.describe_names, mw::选择框_文件名},
      {options.all_pictures, mw::选择框_下载帖子全部图片},
  };
  for (const auto& [choice, box] : boxes) {
    if (choice) frame.SetChecked(box, *choice);
  }

  bool stopped = false;
  bool downloading = false;
  downloads.SetOnFinished([&](bool was_stopped) {
    stopped = was_stopped;
    frame.CloseWindow(mw::kId);
  });
  discovery.retrieval().SetOnFinished([&] {
    if (options.list_only || discovery.retrieval().last_kind() ==
                                 discovery::AddressKind::kUnrecognised) {
      if (options.list_only) PrintRows(frame);
      frame.CloseWindow(mw::kId);
      return;
    }
    if (options.albums) TickRows(frame, *options.albums);
    downloading = true;
    frame.DispatchEvent(mw::按钮_下载选中, rt::EventKey::kClicked);
  });
  WatchInterrupts(frame, interrupts, downloading);
  frame.SetText(mw::编辑框_号码, rt::FromUtf8(options.address));
  frame.DispatchEvent(mw::按钮_获取相册封面, rt::EventKey::kClicked);
  if (!discovery.retrieval().running()) return kExitUsage;  // told already
  frame.Run();

  if (discovery.retrieval().last_kind() == discovery::AddressKind::kUnrecognised) {
    return kExitUnrecognisedAddress;
  }
  if (stopped) return kExitStopped;
  if (downloads.tally().failed.load() > 0) return kExitSomeFailed;
  return kExitOk;
}
