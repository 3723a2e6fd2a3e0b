// The demo's board, its two passes and its serving mode.
#include "app/cli_demo.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "app/demo_board.h"
#include "download/manifest.h"
#include "platform/file_system.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "shell/settings.h"
#include "stand-in/server.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// The save folder's album folders and how many pictures each holds (its
// manifest is no picture).
void ListPictures(Console& console, const fs::path& root) {
  std::map<std::string, int> folders;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it.depth() > 3) it.disable_recursion_pending();
    if (it->is_regular_file(ec) && it->path().filename() != download::kManifestName) {
      ++folders[fs::relative(it->path().parent_path(), root, ec).string()];
    }
  }
  for (const auto& [folder, files] : folders) {
    console.Print("  " + folder + "/  " + std::to_string(files) +
                  (files == 1 ? " picture" : " pictures"));
  }
}

// A fresh folder for the demo's settings and records, removed at the end.
class TemporaryHome {
 public:
  TemporaryHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/tiepic-demo-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TemporaryHome() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

fs::path OutputFolder(const Options& options) {
  std::error_code ec;
  const fs::path folder =
      fs::absolute(options.save_folder.empty() ? "demo-output" : options.save_folder, ec);
  return folder.lexically_normal();
}

// What a pass of the demo did: its runs' counts added up, and the pictures
// the stand-in was asked for.
struct Pass {
  Counts counts;
  size_t fetched = 0;
};

// Runs `run` over each address. Returns the exit status of a run that did
// not come to its end (interrupted, say), else nullopt.
std::optional<int> RunPass(Options& run, const std::vector<std::string>& addresses,
                           const standin::StandIn& service, Console& console,
                           Interrupts& interrupts, Pass* pass) {
  const size_t before = service.Count(standin::Interface::kPicture);
  for (const std::string& address : addresses) {
    run.address = address;
    const RunResult result = RunAddress(run, console, interrupts);
    if (result.end != RunResult::End::kDone) return ExitStatus(result, run, console);
    console.Print(PrintSummary("Done", result.albums, result.counts, result.seconds));
    pass->counts.saved += result.counts.saved;
    pass->counts.skipped += result.counts.skipped;
    pass->counts.failed += result.counts.failed;
  }
  pass->fetched = service.Count(standin::Interface::kPicture) - before;
  return std::nullopt;
}

}  // namespace

int RunDemo(const Options& options, Interrupts& interrupts) {
  Console console(options.quiet.value_or(false), false, Console::ErrorIsTerminal());
  const fs::path output = OutputFolder(options);
  if (!rt::FitsText(output.string())) {
    console.Error("tiepic-cli: the folder " + output.string() +
                  " holds characters GBK text cannot hold; choose another with -o");
    return kExitUsage;
  }
  TemporaryHome home;
  std::string error = "no temporary folder";
  standin::StandIn service(demo::DemoBoard());
  if (home.path().empty() || !service.Start(&error)) {
    console.Error("tiepic-cli: the demo cannot start: " + error);
    return kExitSomeFailed;
  }
  platform::SetRunDirectory(home.path());

  Options run = options;
  run.action = Action::kDownload;
  run.web_host = run.picture_host = service.hosts().web;
  run.save_folder = output.string();
  run.prevent_repeat = run.describe_names = run.all_pictures = true;
  const standin::Thread& thread = service.data().threads.back();
  const std::vector<std::string> addresses = {service.BoardUrl(),
                                              service.ThreadUrl(thread.tid)};
  console.Print("tiepic demo: the board 纸飞机 (3 albums) and the thread " +
                thread.title + ", served by a stand-in of the service on 127.0.0.1:" +
                std::to_string(service.port()) + "; pictures go to " + output.string());

  Pass passes[2];
  for (int n = 0; n < 2; ++n) {
    console.Print(n == 0
                      ? "\n== Pass 1: the board, then the thread, prevent-repeat on"
                      : "\n== Pass 2: the same again; nothing saved before is fetched");
    const std::optional<int> ended =
        RunPass(run, addresses, service, console, interrupts, &passes[n]);
    if (ended) return *ended;
  }
  const bool as_expected = passes[1].fetched == 0 && passes[0].counts.failed == 0 &&
                           passes[1].counts.failed == 0 &&
                           passes[1].counts.skipped == passes[0].counts.saved;
  console.Print("\nPass 1 fetched " + std::to_string(passes[0].fetched) +
                " pictures and saved " + std::to_string(passes[0].counts.saved) +
                "; pass 2 fetched " + std::to_string(passes[1].fetched) +
                " and skipped " + std::to_string(passes[1].counts.skipped) +
                " as already saved.");
  console.Print("The pictures are in " + output.string() + ":");
  ListPictures(console, output);
  if (!as_expected)
    console.Error("tiepic-cli: the demo did not go as it should (see above)");
  return as_expected ? kExitOk : kExitSomeFailed;
}

int ServeDemo(const Options& options, Interrupts& interrupts) {
  const fs::path output = OutputFolder(options);
  std::string error;
  if (!rt::FitsText(options.home) || !rt::FitsText(output.string())) {
    std::fprintf(stderr, "tiepic-cli: --home and -o must be names GBK text can hold\n");
    return kExitUsage;
  }
  standin::StandIn service(demo::DemoBoard());
  std::error_code ec;
  fs::create_directories(options.home, ec);
  if (!service.Start(&error)) {
    std::fprintf(stderr, "tiepic-cli: the stand-in cannot start: %s\n", error.c_str());
    return kExitSomeFailed;
  }
  // The desktop program reads these once, at its start.
  const rt::Text ini = rt::FromUtf8(options.home) + "/" + shell::IniFileName();
  const std::pair<std::string_view, std::string> service_keys[] = {
      {shell::kWebHostKey, service.hosts().web},
      {shell::kPictureHostKey, service.hosts().picture},
      {shell::kVersionPageKey, service.VersionUrl()},
  };
  bool written = true;
  for (const auto& [key, value] : service_keys) {
    written &= rt::WriteIniText(ini, shell::kServiceSection, key, value);
  }
  const std::pair<const rt::Text&, rt::Text> settings[] = {
      {shell::KeySaveFolder(), rt::FromUtf8(output.string())},
      {shell::KeyRecord(), "1"},
      {shell::KeyDescriptionName(), "1"},
      {shell::KeyThreadAll(), "1"},
  };
  for (const auto& [key, value] : settings) {
    written &= rt::WriteIniText(ini, shell::SettingsSection(), key, value);
  }
  if (!written) {
    std::fprintf(stderr, "tiepic-cli: cannot write the settings file in %s\n",
                 options.home.c_str());
    return kExitSomeFailed;
  }
  std::printf("serving the demo board on 127.0.0.1:%d until interrupted\n",
              service.port());
  std::printf("board   %s\n", service.BoardUrl().c_str());
  std::printf("thread  %s\n",
              service.ThreadUrl(service.data().threads.back().tid).c_str());
  std::fflush(stdout);
  interrupts.Wait(std::chrono::hours(1));
  return kExitOk;
}

}  // namespace cli
