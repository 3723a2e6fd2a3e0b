// tiepic-cli run as a program against the stand-in of the service: the rows
// it prints, its exit statuses, and an interrupt before the download.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "stand-in/server.h"
#include "support/temp_dir.h"

namespace {

struct CliRun {
  std::string out;
  int status = -1;
};

// Runs tiepic-cli with `arguments` (already quoted for the shell).
CliRun RunCli(const std::string& arguments) {
  const std::string command =
      std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli " + arguments + " 2>/dev/null";
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(Cli, ListPrintsOneTabSeparatedLinePerAlbum) {
  standin::DataSet data;
  data.board = "纸飞机";
  for (const char* title : {"春日散步", "旧相机试片", ""}) {
    standin::Thread t{.tid = std::to_string(4718203956 + data.threads.size()), .title = title};
    t.pictures.resize(data.threads.size() + 1);
    for (size_t i = 0; i < t.pictures.size(); ++i) t.pictures[i].id = t.tid + std::to_string(i);
    data.threads.push_back(t);
  }
  standin::StandIn service(std::move(data));
  ASSERT_TRUE(service.Start());
  const std::string host = "127.0.0.1:" + std::to_string(service.port());

  const CliRun run = RunCli("--list '" + service.BoardUrl() + "' --web-host " + host);
  EXPECT_EQ(run.status, 0);
  const std::string expected_start =
      "1\t1\t1\t4718203956\t春日散步\n"
      "2\t1\t2\t4718203957\t旧相机试片\n"
      "3\t1\t3\t4718203958\t未知名称_";
  EXPECT_TRUE(run.out.starts_with(expected_start)) << run.out;
  EXPECT_EQ(run.out.size(), expected_start.size() + 3) << run.out;  // two letters and "\n"
}

TEST(Cli, ExitStatusesTellUsageAndUnrecognisedAddresses) {
  EXPECT_EQ(RunCli("").status, 2);
  EXPECT_EQ(RunCli("--list").status, 2);
  EXPECT_EQ(RunCli("--bogus x").status, 2);
  EXPECT_EQ(RunCli("--list ''").status, 2);
  const CliRun unrecognised = RunCli("--list 'http://elsewhere.test/x' --web-host 127.0.0.1:9");
  EXPECT_EQ(unrecognised.status, 3);
  EXPECT_EQ(unrecognised.out, "");
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
