// tiepic-cli run as a program against the stand-in of the service: the rows
// it prints, its help, its usage errors, the closing summary and progress
// bar of a download, the settings file's options against the command line's,
// its exit statuses, and an interrupt before the download.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_run.h"
#include "platform/codepage.h"
#include "stand-in/server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProgramOptions;
using testing_support::FilesUnder;
using testing_support::ProgramRun;
using testing_support::RunProgram;

const std::string kCli = std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli";

ProgramRun RunCli(std::vector<std::string> arguments,
                  const ProgramOptions& options = {}) {
  arguments.insert(arguments.begin(), kCli);
  return RunProgram(arguments, options);
}

// The line of `text` that starts with `start`, or "".
std::string LineStarting(const std::string& text, const std::string& start) {
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? end : end - at);
    if (line.starts_with(start)) return line;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

TEST(Cli, ListPrintsOneTabSeparatedLinePerAlbum) {
  standin::DataSet data;
  data.board = "纸飞机";
  for (const char* title : {"春日散步", "旧相机试片", ""}) {
    standin::Thread t;
    t.tid = std::to_string(4718203956 + data.threads.size());
    t.title = title;
    t.pictures.resize(data.threads.size() + 1);
    for (size_t i = 0; i < t.pictures.size(); ++i)
      t.pictures[i].id = t.tid + std::to_string(i);
    data.threads.push_back(t);
  }
  standin::StandIn service(std::move(data));
  ASSERT_TRUE(service.Start());
  const std::string host = "127.0.0.1:" + std::to_string(service.port());
  testing_support::TempDir home;

  // The untitled album's two letters come from its id: the same name, and
  // so the same folder, at every listing and in every version.
  for (int listing = 0; listing < 2; ++listing) {
    const ProgramRun run =
        RunCli({"--list", service.BoardUrl(), "--web-host", host, "--home", home.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "1\t1\t1\t4718203956\t春日散步\n"
              "2\t1\t2\t4718203957\t旧相机试片\n"
              "3\t1\t3\t4718203958\t未知名称_cg\n");
  }
}

TEST(Cli, ExitStatusesTellUsageAndUnrecognisedAddresses) {
  EXPECT_EQ(RunCli({}).status, 2);
  EXPECT_EQ(RunCli({"--list"}).status, 2);
  EXPECT_EQ(RunCli({"--bogus", "x"}).status, 2);
  EXPECT_EQ(RunCli({"--list", ""}).status, 2);
  testing_support::TempDir home;
  const ProgramRun unrecognised =
      RunCli({"--list", "http://elsewhere.test/x", "--web-host", "127.0.0.1:9", "--home",
              home.path()});
  EXPECT_EQ(unrecognised.status, 3);
  EXPECT_EQ(unrecognised.out, "");
  // Quiet: no message box, one line of its own.
  const ProgramRun quiet = RunCli({"-q", "http://elsewhere.test/x", "--web-host",
                                   "127.0.0.1:9", "--home", home.path()});
  EXPECT_EQ(quiet.status, 3);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err,
            "tiepic-cli: not a board or thread address: http://elsewhere.test/x\n");
}

TEST(Cli, HelpGivesTheUsageOptionsInGroupsExamplesAndExitStatuses) {
  const ProgramRun help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_TRUE(help.out.starts_with("Usage: tiepic-cli [OPTION]... ADDRESS\n"))
      << help.out;
  size_t at = 0;
  for (const char* heading :
       {"\nActions:\n", "\nWhat to download:\n", "\nWhere and how to save:\n",
        "\nService:\n", "\nProgram:\n", "\nExamples:\n", "\nExit status:\n"}) {
    const size_t found = help.out.find(heading, at);
    EXPECT_NE(found, std::string::npos) << heading << " missing or out of order";
    if (found != std::string::npos) at = found;
  }
  // The options the help names, each with the value it says it takes, are
  // the options the program has: every one of them, run with that value, is
  // taken as the help says (a switch that ate the address, or an option
  // whose value became a second address, would end in a usage error).
  const std::regex option_line(R"(^  (?:(-\w), |    )(--[a-z-]+)(?: ([A-Z][A-Z\[\]:]*))? )");
  std::map<std::string, std::string> named;  // option -> its value's placeholder
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, option_line)) continue;
    named[m[2]] = m[3];
    if (m[1].matched) named[m[1]] = m[3];
  }
  const std::map<std::string, std::string> options = {{"--list", ""},
                                                      {"--demo", ""},
                                                      {"--serve", ""},
                                                      {"-h", ""},
                                                      {"--help", ""},
                                                      {"--version", ""},
                                                      {"--albums", "LIST"},
                                                      {"--all-pictures", ""},
                                                      {"--starter-only", ""},
                                                      {"-o", "DIR"},
                                                      {"--output", "DIR"},
                                                      {"--prevent-repeat", ""},
                                                      {"--no-prevent-repeat", ""},
                                                      {"--describe-names", ""},
                                                      {"--number-names", ""},
                                                      {"--jobs", "N"},
                                                      {"--no-manifest", ""},
                                                      {"--manifest", ""},
                                                      {"--web-host", "HOST[:PORT]"},
                                                      {"--picture-host", "HOST[:PORT]"},
                                                      {"--client-address", "URL"},
                                                      {"--cookies", "FILE"},
                                                      {"--profile", "FILE"},
                                                      {"--write-profile", "FILE"},
                                                      {"--check-service", ""},
                                                      {"--home", "DIR"},
                                                      {"-q", ""},
                                                      {"--quiet", ""},
                                                      {"--no-quiet", ""}};
  EXPECT_EQ(named, options);
  testing_support::TempDir home;
  const std::map<std::string, std::string> values = {{"LIST", "1,3-5"},
                                                     {"DIR", home / "dir"},
                                                     {"N", "3"},
                                                     {"HOST[:PORT]", "127.0.0.1:9"},
                                                     {"URL", "http://127.0.0.1:9"},
                                                     {"FILE", home / "cookies.txt"}};
  const std::string address = "http://elsewhere.test/x";
  for (const auto& [option, placeholder] : named) {
    std::vector<std::string> arguments = {"--web-host", "127.0.0.1:9", "--home", home / "h",
                                          option};
    if (!placeholder.empty()) arguments.push_back(values.at(placeholder));
    arguments.push_back(address);
    const ProgramRun run = RunCli(arguments);
    if (option == "-h" || option == "--help" || option == "--version") {
      EXPECT_EQ(run.status, 0) << option;
    } else if (option == "--demo" || option == "--serve" || option == "--write-profile") {
      EXPECT_EQ(run.err, "tiepic-cli: " + option +
                             (option == "--serve" ? " goes with --demo" : " takes no address") +
                             " (see tiepic-cli --help)\n");
    } else {
      EXPECT_EQ(run.status, 3) << option << ": " << run.err;  // the address, not a usage error
      EXPECT_EQ(run.err.find("tiepic-cli --help"), std::string::npos) << option << ": " << run.err;
    }
  }
  for (const char* status : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "  6 ", "  130 "}) {
    EXPECT_NE(help.out.find(std::string("\n") + status), std::string::npos) << status;
  }
  EXPECT_EQ(RunCli({"-h"}).out, help.out);
  const ProgramRun version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tiepic-cli 1.0\n");
}

TEST(Cli, AUsageErrorSaysWhyInOneLineAndEndsWithStatus2) {
  const std::string address = "http://tieba.baidu.com/f?kw=x";
  const struct {
    std::vector<std::string> arguments;
    std::string reason;
  } cases[] = {
      {{}, "no address given"},
      {{"--bogus", address}, "unknown option --bogus"},
      {{address, "-o"}, "-o needs a value"},
      {{"--albums", "3-1", address}, "--albums takes row numbers such as 1,3-5"},
      {{"--jobs", "0", address}, "--jobs takes a number from 1 to 8"},
      {{"--jobs", "9", address}, "--jobs takes a number from 1 to 8"},
      {{"--jobs", "4x", address}, "--jobs takes a number from 1 to 8"},
      {{address, "--jobs"}, "--jobs takes a number from 1 to 8"},
      {{address, "http://tieba.baidu.com/p/1"}, "more than one address"},
      {{"--demo", address}, "--demo takes no address"},
      {{"--demo", "--serve"},
       "--serve needs --home DIR, where the desktop program's settings go"},
      {{"--serve", address}, "--serve goes with --demo"},
      {{"--demo", "--home", "/tmp"},
       "--home goes with --demo --serve only (the demo keeps its records apart)"},
      {{"-o", "照片😀", address}, "照片😀 holds characters GBK text cannot hold"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = RunCli(c.arguments);
    EXPECT_EQ(run.status, 2) << c.reason;
    EXPECT_EQ(run.out, "") << c.reason;
    EXPECT_EQ(run.err, "tiepic-cli: " + c.reason + " (see tiepic-cli --help)\n");
  }
}

class CliDownload : public ::testing::Test {
 protected:
  CliDownload() : service_(Board()) {}

  void SetUp() override {
    ASSERT_TRUE(service_.Start());
    host_ = "127.0.0.1:" + std::to_string(service_.port());
  }

  // Two albums of 3 and 2 pictures, 2,048 bytes each.
  static standin::DataSet Board() {
    standin::DataSet data;
    data.board = "纸飞机";
    int n = 0;
    for (const auto& [title, count] :
         {std::pair{"春日散步", 3}, std::pair{"旧相机", 2}}) {
      standin::Thread t;
      t.tid = std::to_string(4718203956 + n);
      t.title = title;
      for (int i = 0; i < count; ++i) {
        standin::Picture& picture = t.pictures.emplace_back();
        // The record keeps the first 20 characters of an id: these differ there.
        picture.id = std::to_string(i) + std::string(39, 'a' + n);
        picture.size = 2048;
      }
      data.threads.push_back(t);
      ++n;
    }
    return data;
  }

  ProgramRun Download(std::vector<std::string> arguments,
                      const ProgramOptions& options = {}) {
    for (const std::string& a :
         {std::string("--web-host"), host_, std::string("--picture-host"), host_,
          std::string("--home"), home_.string(), service_.BoardUrl()}) {
      arguments.push_back(a);
    }
    return RunCli(arguments, options);
  }

  void WriteSettings(std::string_view utf8) {
    std::ofstream(home_ / "配置.ini", std::ios::binary) << platform::FromUtf8(utf8);
  }

  standin::StandIn service_;
  std::string host_;
  testing_support::TempDir folder_;
  const fs::path home_ = folder_.path() / "home";
  const fs::path pictures_ = folder_.path() / "pictures";
};

TEST_F(CliDownload, ASummaryClosesTheRunAndTheStatusTellsWhetherEveryPictureIsSaved) {
  const fs::path save = pictures_ / "save";
  const fs::path other = pictures_ / "from-settings";

  // On a terminal: a progress bar on standard error, the log and summary on
  // standard output.
  ProgramOptions terminal;
  terminal.environment = {{"TERM", "xterm"}};
  terminal.error_is_terminal = true;
  const ProgramRun first = Download({"-o", save.string(), "--prevent-repeat"}, terminal);
  EXPECT_EQ(first.status, 0) << first.out << first.err;
  EXPECT_TRUE(LineStarting(first.out,
                           "Done: 2 albums; 5 pictures saved, 0 skipped as already "
                           "saved, 0 failed; 10.0 KB in ")
                  .ends_with(" s; 5 new since the last run"))
      << first.out;
  EXPECT_NE(first.out.find("下载载相册:春日散步"), std::string::npos);
  EXPECT_EQ(LineStarting(first.out, "Pictures saved in "),
            "Pictures saved in " + save.string());
  EXPECT_NE(first.err.find("\ralbum 1/2 春日散步 ["), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("\ralbum 2/2 旧相机 ["), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("5/5 pictures"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("/s  "), std::string::npos) << first.err;
  EXPECT_EQ(FilesUnder(save), 5u);

  // The settings file gives prevent-repeat, a save folder and quiet; the
  // command line's save folder and --no-quiet win.
  WriteSettings("[全局设置]\r\n保存位置=" + other.string() +
                "\r\n下载记录=1\r\n[tiepic-cli]\r\nquiet=1\r\n");
  const ProgramRun again = Download({"-o", save.string(), "--no-quiet"});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(LineStarting(again.out,
                         "Done: 2 albums; 0 pictures saved, 5 skipped as already "
                         "saved, 0 failed; 0 bytes in "),
            "")
      << again.out;
  EXPECT_FALSE(fs::exists(other));

  // Two pictures fail: status 1. Off a terminal there is no bar.
  service_.AddFault("picture:status=500*2");
  const ProgramRun failing =
      Download({"-o", save.string(), "--no-quiet", "--no-prevent-repeat"});
  EXPECT_EQ(failing.status, 1);
  EXPECT_NE(LineStarting(failing.out,
                         "Done: 2 albums; 3 pictures saved, 0 skipped as already "
                         "saved, 2 failed; 6.0 KB in "),
            "")
      << failing.out;
  EXPECT_EQ(failing.err, "[信息：] 下载结束：2张图片未能保存\n");
  // Both are named in the log's closing account and after the summary.
  EXPECT_NE(failing.out.find("未能保存的图片共2张：\r\n相册《春日散步》图片"), std::string::npos)
      << failing.out;
  const size_t listed = failing.out.find(
      "Not saved (album, picture id, reason); a second run with --prevent-repeat fetches just "
      "these:\n  春日散步\t");
  ASSERT_NE(listed, std::string::npos) << failing.out;
  const std::string tail = failing.out.substr(listed);
  EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 3) << tail;
  EXPECT_TRUE(tail.ends_with("\tHTTP 500\n")) << tail;

  // Quiet from the settings file: only the reason for the status.
  service_.AddFault("picture:status=500*1");
  const ProgramRun quiet = Download({"--no-prevent-repeat"});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, "");
  EXPECT_TRUE(quiet.err.starts_with("tiepic-cli: 1 picture could not be saved\n  春日散步\t"))
      << quiet.err;
  EXPECT_TRUE(quiet.err.ends_with("\tHTTP 500\n")) << quiet.err;
  EXPECT_EQ(FilesUnder(other), 4u);  // the settings file's save folder
}

TEST_F(CliDownload, AnInterruptStopsTheRunAsTheConfirmedStopButtonDoes) {
  service_.AddFault("picture:stall");  // the first picture hangs until stopped
  ProgramOptions interrupted;
  interrupted.send_signal_when = [](const ProgramRun& so_far) {
    return so_far.out.find("创建成功") !=
           std::string::npos;  // the album folder: under way
  };
  const ProgramRun run = Download({"-o", pictures_.string()}, interrupted);
  EXPECT_EQ(run.status, 130);
  EXPECT_NE(run.out.find("执行了结束下载"), std::string::npos) << run.out;
  EXPECT_NE(LineStarting(run.out,
                         "Stopped: 1 album; 0 pictures saved, 0 skipped as already "
                         "saved, 0 failed; 0 bytes in "),
            "")
      << run.out;
  EXPECT_EQ(run.err, "[警告！] 您真的要彻底结束下载么？\n");
}

// Starts tiepic-cli with `arguments`, its output dropped; returns its pid.
pid_t StartCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli");
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit status of `pid`, or -1 (after killing it) when it has not ended
// within `seconds`.
int ExitStatusWithin(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Cli, AnInterruptWhileTheAlbumsAreBeingFoundEndsTheProgram) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread album;
  album.tid = "4718203956";
  album.title = "春日散步";
  album.pictures.resize(1);
  album.pictures[0].id = "a1";
  data.threads.push_back(album);
  standin::StandIn service(std::move(data));
  ASSERT_TRUE(service.Start());
  // The album list does not answer for a minute: the albums are still being
  // found when the interrupt comes.
  service.AddFault("album-list:stall=60000");
  const std::string host = "127.0.0.1:" + std::to_string(service.port());
  for (const bool list_only : {true, false}) {
    SCOPED_TRACE(list_only ? "--list" : "download");
    testing_support::TempDir home;
    const std::string save = (home.path() / "save").string();
    std::vector<std::string> arguments = {"--home", home.path().string(), "-o", save,
                                          "--web-host", host, service.BoardUrl()};
    if (list_only) arguments.insert(arguments.begin(), "--list");
    service.log().Clear();
    const pid_t pid = StartCli(arguments);
    ASSERT_GT(pid, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (service.Count(standin::Interface::kBoard) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(service.Count(standin::Interface::kBoard), 1u);
    kill(pid, SIGINT);
    EXPECT_EQ(ExitStatusWithin(pid, 20), 130);
    EXPECT_EQ(service.Count(standin::Interface::kPicture), 0u);
  }
}

}  // namespace
