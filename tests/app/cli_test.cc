// tiepic-cli run as a program against the stand-in of the service: the rows
// it prints, and its exit statuses.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "stand-in/server.h"

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

}  // namespace
