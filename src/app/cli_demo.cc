// The demo's board, its two passes and its serving mode.
#include "app/cli_demo.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/file_system.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "shell/settings.h"
#include "stand-in/server.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using rt::operator""_gbk;

// 40 hex digits from a number: the demo's picture ids.
std::string PictureId(uint64_t n) {
  std::string id;
  for (uint64_t z = n * 0x9E3779B97F4A7C15ULL + 1; id.size() < 40;) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(z ^ (z >> 31)));
    id += hex;
  }
  return id.substr(0, 40);
}

standin::Thread MakeThread(std::string tid, std::string title, bool album,
                           std::initializer_list<const char*> descriptions) {
  standin::Thread thread{.tid = std::move(tid), .title = std::move(title), .album = album};
  if (!album) thread.has_sep = "null";
  const standin::PictureFormat formats[] = {standin::PictureFormat::kJpeg,
                                            standin::PictureFormat::kPng,
                                            standin::PictureFormat::kGif};
  uint32_t n = 0;
  for (const char* descr : descriptions) {
    const uint64_t key = std::stoull(thread.tid) * 100 + n;
    thread.pictures.push_back({.id = PictureId(key),
                               .format = formats[n % 3],
                               .size = 3000 + static_cast<uint32_t>(key * 7919 % 14000),
                               .descr = descr,
                               .by_starter = album || n % 3 != 2});
    ++n;
  }
  return thread;
}

// The save folder's album folders and how many files each holds.
void ListPictures(Console& console, const fs::path& root) {
  std::map<std::string, int> folders;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it.depth() > 3) it.disable_recursion_pending();
    if (it->is_regular_file(ec)) {
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
    std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/tiepic-demo-XXXXXX";
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
  const fs::path folder = fs::absolute(
      options.save_folder.empty() ? "demo-output" : options.save_folder, ec);
  return folder.lexically_normal();
}

}  // namespace

standin::DataSet DemoDataSet() {
  standin::DataSet data;
  data.seed = 13;
  data.board = "纸飞机";
  data.forum_id = "2086417";
  data.style.guide_img_format = "number";  // thread pictures saved under their own extension
  data.threads = {
      MakeThread("4718203956", "春日散步", true,
                 {"樱花树下", "河边的长椅", "", "IMG_2031", "落日", "回家的路"}),
      MakeThread("4718205833", "旧相机试片", true,
                 {"第一张", "胶片的颗粒", "窗台上的猫", "晚霞"}),
      MakeThread("4718207710", "海边的夏天", true,
                 {"浪花", "沙滩上的脚印", "灯塔", "一只海鸥", "雨中的伞"}),
      MakeThread("4718209587", "纸飞机试飞记录", false,
                 {"折纸", "第一次试飞", "楼下的观众", "飞过屋顶", "落在树上", "回收"}),
  };
  return data;
}

int RunDemo(const Options& options, Interrupts& interrupts) {
  Console console(options.quiet.value_or(false), false, Console::ErrorIsTerminal());
  const fs::path output = OutputFolder(options);
  if (!rt::FitsText(output.string())) {
    console.Error("tiepic-cli: the folder " + output.string() +
                  " holds characters GBK text cannot hold; choose another with -o");
    return kExitUsage;
  }
  TemporaryHome temporary;
  const std::string home = options.home.empty() ? temporary.path() : options.home;
  std::string error;
  standin::StandIn service(DemoDataSet());
  if (home.empty() || !service.Start(&error)) {
    console.Error("tiepic-cli: the demo cannot start: " +
                  (home.empty() ? std::string("no temporary folder") : error));
    return kExitSomeFailed;
  }
  platform::SetRunDirectory(home);

  Options run = options;
  run.action = Action::kDownload;
  run.web_host = run.picture_host = service.hosts().web;
  run.save_folder = output.string();
  run.prevent_repeat = run.describe_names = run.all_pictures = true;
  const standin::Thread& thread = service.data().threads.back();
  const std::string addresses[] = {service.BoardUrl(), service.ThreadUrl(thread.tid)};
  console.Print("tiepic demo: the board 纸飞机 (3 albums) and the thread " + thread.title +
                ", served by a stand-in of the service on 127.0.0.1:" +
                std::to_string(service.port()) + "; pictures go to " + output.string());

  size_t fetched[2] = {0, 0};
  Counts totals[2];
  for (int pass = 0; pass < 2; ++pass) {
    console.Print(pass == 0 ? "\n== Pass 1: the board, then the thread, prevent-repeat on"
                            : "\n== Pass 2: the same again; nothing saved before is fetched");
    const size_t before = service.Count(standin::Interface::kPicture);
    for (const std::string& address : addresses) {
      run.address = address;
      const RunResult result = RunAddress(run, console, interrupts);
      if (result.end != RunResult::End::kDone) return ExitStatus(result, run, console);
      console.Print(PrintSummary("Done", result.albums, result.counts, result.seconds));
      totals[pass].saved += result.counts.saved;
      totals[pass].skipped += result.counts.skipped;
      totals[pass].failed += result.counts.failed;
    }
    fetched[pass] = service.Count(standin::Interface::kPicture) - before;
  }
  const bool as_expected = fetched[1] == 0 && totals[0].failed == 0 && totals[1].failed == 0 &&
                           totals[1].skipped == totals[0].saved;
  console.Print("\nPass 1 fetched " + std::to_string(fetched[0]) + " pictures and saved " +
                std::to_string(totals[0].saved) + "; pass 2 fetched " +
                std::to_string(fetched[1]) + " and skipped " + std::to_string(totals[1].skipped) +
                " as already saved.");
  console.Print("The pictures are in " + output.string() + ":");
  ListPictures(console, output);
  if (!as_expected) console.Error("tiepic-cli: the demo did not go as it should (see above)");
  return as_expected ? kExitOk : kExitSomeFailed;
}

int ServeDemo(const Options& options, Interrupts& interrupts) {
  const fs::path output = OutputFolder(options);
  std::string error;
  if (!rt::FitsText(options.home) || !rt::FitsText(output.string())) {
    std::fprintf(stderr, "tiepic-cli: --home and -o must be names GBK text can hold\n");
    return kExitUsage;
  }
  standin::StandIn service(DemoDataSet());
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
  std::printf("serving the demo board on 127.0.0.1:%d until interrupted\n", service.port());
  std::printf("board   %s\n", service.BoardUrl().c_str());
  std::printf("thread  %s\n", service.ThreadUrl(service.data().threads.back().tid).c_str());
  std::fflush(stdout);
  interrupts.Wait(std::chrono::hours(1));
  return kExitOk;
}

}  // namespace cli
