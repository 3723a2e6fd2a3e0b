// The tiepic-stand-in program: address on the first line, faults and log
// from the command line, a data set written and served from a folder, and
// an end by itself or at SIGTERM.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "stand-in/texts.h"
#include "stand_in_test_support.h"
#include "support/temp_dir.h"

namespace standin {
namespace {

using stand_in_test::Fetch;
using stand_in_test::Fetched;

// The program running with `args`; its standard output is readable line by line.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      std::vector<char*> argv{const_cast<char*>(TIEPIC_STAND_IN_PROGRAM)};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    output_ = fdopen(out[0], "r");
  }
  ~Program() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (output_) fclose(output_);
  }
  std::string Line() {
    char buffer[4096];
    if (!fgets(buffer, sizeof buffer, output_)) return "";
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }
  // The exit status, or -1 when it does not end within `seconds`.
  int Wait(int seconds = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  void Terminate() { kill(pid_, SIGTERM); }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  FILE* output_ = nullptr;
};

int PortOf(const std::string& first_line) {
  const std::string prefix = "listening on 127.0.0.1:";
  EXPECT_EQ(first_line.substr(0, prefix.size()), prefix);
  return std::atoi(first_line.c_str() + prefix.size());
}

TEST(StandInProgram, ServesAGeneratedBoardWithFaultsAndLog) {
  testing_support::TempDir dir;
  Program program({"--generate", "1,tiny", "--fault", "board:status=500*1", "--log",
                   dir / "log.txt", "--max-seconds", "60"});
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  std::string board_line = program.Line();
  std::string board = board_line.substr(board_line.find("/f?kw="));
  EXPECT_EQ(Fetch(port, board).status, 500);
  Fetched page = Fetch(port, board);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("吧_百度贴吧</title>"), std::string::npos);
  program.Terminate();
  EXPECT_EQ(program.Wait(), 0);
  std::ifstream log(dir / "log.txt");
  std::string first, second;
  std::getline(log, first);
  std::getline(log, second);
  EXPECT_NE(first.find("\tboard\tGET\t" + board + "\t500\t"), std::string::npos) << first;
  EXPECT_NE(second.find("\tboard\tGET\t" + board + "\t200\t"), std::string::npos)
      << second;
}

// The answers' style options hold for a generated data set, are written with
// it, and add to what a data set read from a folder brings.
TEST(StandInProgram, WritesADataSetAndServesItFromTheFolder) {
  testing_support::TempDir dir;
  Program writer({"--generate", "3,tiny", "--write", dir / "set", "--move-path",
                  "/photo/g/bw/picture/list=/photo/g/bw/picture/list2", "--list-wall-type", "h",
                  "--rename", "pic_id=picture_id"});
  EXPECT_EQ(writer.Wait(), 0);
  Program server({"--data", dir / "set", "--port", "0", "--max-seconds", "1", "--nest",
                  "pic_list=pictures", "--retype", "total_num"});
  int port = PortOf(server.Line());
  std::string board_line = server.Line();
  EXPECT_EQ(Fetch(port, board_line.substr(board_line.find("/f?kw="))).status, 200);
  std::string tid;
  for (const Thread& t : stand_in_test::Generated("tiny", 3).threads) {
    if (t.album && !t.pictures.empty() && tid.empty()) tid = t.tid;
  }
  const std::string query =
      "?kw=x&alt=jview&rn=1&tid=" + tid + "&pn=1&ps=1&pe=1&wall_type=v" + stand_in_test::kStamp;
  EXPECT_EQ(Fetch(port, "/photo/g/bw/picture/list" + query).status, 404);
  std::string answer = Fetch(port, "/photo/g/bw/picture/list2" + query).body;
  for (const char* part : {"\"pictures\":{\"pic_list\":[{", "\"picture_id\":\"", "\"total_num\":\"",
                           "\"wall_type\":\"h\""}) {
    EXPECT_NE(answer.find(part), std::string::npos) << part << " in " << answer;
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(server.Wait(), 0) << "ends by itself after --max-seconds";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// A client that sends its request head a byte at a time keeps one of the
// server's workers reading it for as long as it likes; the program still
// ends soon after --max-seconds.
TEST(StandInProgram, EndsByItselfWhileAClientTricklesARequest) {
  Program program({"--generate", "1,tiny", "--max-seconds", "1"});
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  std::atomic<bool> done{false};
  std::thread client([port, &done] {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      // About a minute of head, unless the test ends first.
      const std::string head =
          "GET /f?kw=x HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(200, 'a');
      for (char c : head) {
        if (done || send(fd, &c, 1, MSG_NOSIGNAL) != 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
      }
    }
    close(fd);
  });
  int status = program.Wait(20);
  done = true;
  client.join();
  EXPECT_EQ(status, 0) << "still running 20 s into a lifetime of 1 s";
}

// A bad command line ends with 2, a data set that cannot be had with 1.
TEST(StandInProgram, RefusesABadCommandLine) {
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{}, 2},
      {{"--generate", "1,small", "--data", "x"}, 2},
      {{"--generate", "1,small", "--fault", "picture:explode"}, 2},
      {{"--generate", "1,huge"}, 1},
      {{"--generate", "1,small", "--port", "70000"}, 2},
      {{"--data", "/nonexistent/set"}, 1},
      {{"--generate", "1,small", "--rename", "pic_id"}, 2},
      {{"--generate", "1,small", "--nest", "pic_list="}, 2},
      {{"--generate", "1,small", "--retype", "a\"b"}, 2},
      {{"--generate", "1,small", "--move-path", "photo/g=/g2"}, 2},
      {{"--generate", "1,small", "--list-wall-type", "x"}, 2},
      {{"--data", "/nonexistent/set", "--list-wall-type"}, 2},
      {{"--generate", "1,small", "--today", "albums,bogus"}, 2},
      {{"--generate", "1,small", "--today", "https"}, 2},  // without --tls
  };
  for (const auto& c : cases) {
    Program program(c.args);
    EXPECT_EQ(program.Wait(), c.status) << testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace standin
