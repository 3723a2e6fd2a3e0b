// tiepic-cli run as a program, downloading from the stand-in of the service:
// a whole board and a thread saved byte for byte, the repeat-download record
// across runs, rows chosen with --albums, and an interrupt that stops a run
// mid-picture without leaving a cut file.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "stand-in/generator.h"
#include "stand-in/server.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using standin::Interface;
using Clock = std::chrono::steady_clock;

// One run of tiepic-cli, its standard output and error read from one pipe.
class CliProcess {
 public:
  explicit CliProcess(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli");
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    fd_ = fds[0];
  }
  ~CliProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Reads output until `done` holds, the output ends or `seconds` pass.
  // Returns true iff `done` held.
  bool ReadUntil(const std::function<bool()>& done, int seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (eof_ || Clock::now() >= deadline) return false;
      ReadSome(10);
    }
    return true;
  }

  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }

  // Reads to the end of the output and reaps the program. Returns its exit
  // status, or -1 when it did not exit by itself within `seconds`.
  int Wait(int seconds) {
    if (pid_ <= 0) return -1;
    ReadUntil([this] { return eof_; }, seconds);
    const auto deadline = Clock::now() + std::chrono::seconds(eof_ ? 10 : 0);
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (reaped != pid_) return -1;  // the destructor kills it
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& output() const { return output_; }

 private:
  void ReadSome(int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0) {
      eof_ = true;
      return;
    }
    if (poll(&p, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      output_.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      eof_ = true;
    }
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  bool eof_ = false;
  std::string output_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Every picture file under `root` (the manifests aside), by its path relative to it (UTF-8).
std::map<std::string, std::string> FilesUnder(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && e.path().filename() != ".tiepic.jsonl")
      files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  }
  return files;
}

// Names the files that are missing, unexpected or different.
::testing::AssertionResult SameFiles(const std::map<std::string, std::string>& actual,
                                     const std::map<std::string, std::string>& expected) {
  std::string problems;
  int found = 0;
  auto note = [&](const std::string& what) {
    if (found++ < 10) problems += "\n  " + what;
  };
  for (const auto& [name, body] : expected) {
    auto it = actual.find(name);
    if (it == actual.end()) {
      note("missing " + name);
    } else if (it->second != body) {
      note("different " + name + " (" + std::to_string(it->second.size()) +
           " bytes, expected " + std::to_string(body.size()) + ")");
    }
  }
  for (const auto& [name, body] : actual) {
    if (!expected.contains(name)) note("unexpected " + name);
  }
  if (found == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << found << " differences:" << problems;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliDownloadTest : public ::testing::Test {
 protected:
  // Serves the generated data set; `guide_img_format` as in AnswerStyle.
  void Serve(uint64_t seed, const char* size, const char* guide_img_format = "") {
    std::string error;
    std::optional<standin::DataSet> data =
        standin::GenerateDataSet({.seed = seed, .size = size}, &error);
    ASSERT_TRUE(data) << error;
    data->style.guide_img_format = guide_img_format;
    service_ = std::make_unique<standin::StandIn>(std::move(*data));
    ASSERT_TRUE(service_->Start(&error)) << error;
    host_ = "127.0.0.1:" + std::to_string(service_->port());
  }

  // The arguments of a download of `address` into `save` with `home` as
  // the program's folder, followed by `more`.
  std::vector<std::string> Arguments(const std::string& address, const fs::path& save,
                                     const fs::path& home,
                                     std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {
        "-o",         save.string(), "--home",         home.string(),
        "--web-host", host_,         "--picture-host", host_};
    arguments.insert(arguments.end(), more.begin(), more.end());
    arguments.push_back(address);
    return arguments;
  }

  struct Result {
    int status = -1;
    std::string output;
  };
  Result Run(std::vector<std::string> arguments) {
    CliProcess cli(std::move(arguments));
    Result result;
    result.status = cli.Wait(120);
    result.output = cli.output();
    return result;
  }

  const standin::DataSet& data() const { return service_->data(); }
  std::vector<const standin::Thread*> Albums() const {
    return service_->index().albums();
  }

  // The files the download of album `t` leaves under `folder`.
  std::map<std::string, std::string> AlbumFiles(const standin::Thread& t,
                                                const std::string& folder) const {
    std::map<std::string, std::string> files;
    for (size_t i = 0; i < t.pictures.size(); ++i) {
      files[folder + "/(" + std::to_string(i + 1) + ")." +
            standin::FormatName(t.pictures[i].format)] =
          standin::PictureBody(data(), t.pictures[i]);
    }
    return files;
  }

  // The folder of album `t` on the board, relative to the save folder: its
  // title and id. An untitled album gets a name with two random letters: it
  // is the one such folder of its id that exists.
  std::string AlbumFolder(const standin::Thread& t) const {
    const std::string board = data().board + "吧_百度贴吧";
    if (!t.title.empty()) return board + "/" + t.title + "_" + t.tid;
    if (fs::is_directory(save_ / board)) {
      for (const auto& e : fs::directory_iterator(save_ / board)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("未知名称_") && name.ends_with("_" + t.tid)) return board + "/" + name;
      }
    }
    return board + "/未知名称_??";
  }

  const standin::Thread& ThreadTitled(const std::string& title) const {
    for (const standin::Thread& t : data().threads) {
      if (t.title == title) return t;
    }
    ADD_FAILURE() << "no thread " << title;
    return data().threads.front();
  }

  testing_support::TempDir folder_;
  fs::path save_ = folder_.path() / "保存";
  fs::path home_ = folder_.path() / "home";
  std::unique_ptr<standin::StandIn> service_;
  std::string host_;
};

TEST_F(CliDownloadTest, ABoardIsSavedWholeAndItsRecordSparesASecondRun) {
  ASSERT_NO_FATAL_FAILURE(Serve(3, "tiny"));
  fs::create_directories(home_);
  const Result first =
      Run(Arguments(service_->BoardUrl(), save_, home_, {"--prevent-repeat"}));
  ASSERT_EQ(first.status, 0) << first.output;

  std::map<std::string, std::string> expected;
  size_t pictures = 0;
  for (const standin::Thread* t : Albums()) {
    expected.merge(AlbumFiles(*t, AlbumFolder(*t)));
    pictures += t->pictures.size();
    EXPECT_TRUE(fs::is_regular_file(home_ / "防止重复下载数据库" / (t->tid + ".edb")))
        << t->tid;
  }
  ASSERT_GT(pictures, 10u);
  EXPECT_TRUE(SameFiles(FilesUnder(save_), expected));
  EXPECT_EQ(service_->Count(Interface::kPicture), pictures);
  EXPECT_TRUE(Contains(first.output, "当前被选择相册编号:1、2、3、4、\r\n\r\n"))
      << first.output;
  EXPECT_TRUE(Contains(first.output, "防止重复下载数据库创建成功")) << first.output;
  EXPECT_TRUE(Contains(first.output, "-------全部下载完毕--------")) << first.output;

  // The record keeps every saved picture: nothing is asked for again.
  service_->log().Clear();
  const Result second =
      Run(Arguments(service_->BoardUrl(), save_, home_, {"--prevent-repeat"}));
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(service_->Count(Interface::kPicture), 0u);
  EXPECT_TRUE(Contains(second.output, "已经勾选了防止重复下载功能")) << second.output;
  EXPECT_FALSE(Contains(second.output, "防止重复下载数据库创建成功")) << second.output;
  EXPECT_TRUE(SameFiles(FilesUnder(save_), expected));

  // Without the option every picture is fetched and written again (into a
  // new folder: the untitled album gets new letters each time it is listed).
  service_->log().Clear();
  const fs::path again = folder_.path() / "again";
  const Result third =
      Run(Arguments(service_->BoardUrl(), again, home_, {"--no-prevent-repeat"}));
  EXPECT_EQ(third.status, 0) << third.output;
  EXPECT_EQ(service_->Count(Interface::kPicture), pictures);
  EXPECT_EQ(FilesUnder(again).size(), pictures);
}

TEST_F(CliDownloadTest, AlbumsOptionDownloadsOnlyTheRowsItNames) {
  ASSERT_NO_FATAL_FAILURE(Serve(3, "tiny"));
  const Result run =
      Run(Arguments(service_->BoardUrl(), save_, home_, {"--albums", "1,3-4"}));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<const standin::Thread*> albums = Albums();
  ASSERT_EQ(albums.size(), 4u);
  ASSERT_TRUE(albums[2]->pictures.empty());  // row 3: an album without pictures
  std::map<std::string, std::string> expected =
      AlbumFiles(*albums[0], AlbumFolder(*albums[0]));
  expected.merge(AlbumFiles(*albums[3], AlbumFolder(*albums[3])));
  EXPECT_TRUE(SameFiles(FilesUnder(save_), expected));
  EXPECT_EQ(service_->Count(Interface::kPicture),
            albums[0]->pictures.size() + albums[3]->pictures.size());
  EXPECT_TRUE(fs::is_directory(save_ / AlbumFolder(*albums[2])));
  EXPECT_TRUE(Contains(run.output, "当前被选择相册编号:1、3、4、\r\n\r\n")) << run.output;
  EXPECT_FALSE(Contains(run.output, "未知名称_")) << run.output;  // row 2 stays out
}

TEST_F(CliDownloadTest, AThreadIsSavedThroughTheCursorPagedGuide) {
  // Each entry tells its format: JPEG, GIF or PNG.
  ASSERT_NO_FATAL_FAILURE(Serve(3, "small", "number"));
  const standin::Thread& t = ThreadTitled("纸飞机试飞记录");
  ASSERT_EQ(t.pictures.size(), 120u);
  const std::string folder = t.title + "相册_" + t.tid;
  auto files_of = [&](bool starter_only) {
    std::map<std::string, std::string> files;
    int n = 0;
    for (const standin::Picture* p : standin::GuidePictures(t, starter_only)) {
      files[folder + "/(" + std::to_string(++n) + ")." + standin::FormatName(p->format)] =
          standin::PictureBody(data(), *p);
    }
    return files;
  };

  const Result all =
      Run(Arguments(service_->ThreadUrl(t.tid), save_, home_, {"--all-pictures"}));
  ASSERT_EQ(all.status, 0) << all.output;
  EXPECT_TRUE(SameFiles(FilesUnder(save_), files_of(false)));
  EXPECT_EQ(service_->Count(Interface::kPicture), 120u);
  EXPECT_EQ(service_->Count(Interface::kGuide),
            1u + 3);  // the count, then pages of 49 new
  EXPECT_TRUE(Contains(all.output, "---完成相册《纸飞机试飞记录相册》下载"))
      << all.output;

  // The starter's pictures only: fewer files, numbered by their place in
  // what the guide shows.
  service_->log().Clear();
  const fs::path starter_save = folder_.path() / "楼主";
  const Result starter = Run(Arguments(service_->ThreadUrl(t.tid), starter_save,
                                       folder_.path() / "home2", {"--starter-only"}));
  ASSERT_EQ(starter.status, 0) << starter.output;
  const auto expected = files_of(true);
  ASSERT_LT(expected.size(), 120u);
  EXPECT_TRUE(SameFiles(FilesUnder(starter_save), expected));
  EXPECT_EQ(service_->Count(Interface::kPicture), expected.size());
}

TEST_F(CliDownloadTest, AnInterruptStopsTheRunLikeAConfirmedStopButton) {
  ASSERT_NO_FATAL_FAILURE(Serve(3, "small"));
  const standin::Thread& t = ThreadTitled("纸飞机试飞记录");
  // Each picture trickles in (120 ms at least), so the interrupt finds one
  // half received.
  ASSERT_GE(service_->AddFault("picture:slow=200/30"), 0);
  CliProcess cli(Arguments(service_->ThreadUrl(t.tid), save_, home_, {"--all-pictures"}));
  const bool some_saved =
      cli.ReadUntil([&] { return service_->Count(Interface::kPicture) >= 4; }, 120);
  ASSERT_TRUE(some_saved) << cli.output();
  cli.Signal(SIGINT);
  const auto signalled = Clock::now();
  const int status = cli.Wait(60);
  EXPECT_EQ(status, 130) << cli.output();
  EXPECT_LT(Clock::now() - signalled, std::chrono::seconds(20));
  EXPECT_TRUE(Contains(cli.output(), "执行了结束下载\r\n")) << cli.output();
  EXPECT_FALSE(Contains(cli.output(), "全部下载完毕")) << cli.output();

  // Whatever was saved is whole and named as a finished run would name it;
  // nothing else (no partial or temporary file) is left.
  // The guide's entries carry no format here: each file's extension is the
  // one its bytes call for.
  const std::string folder = t.title + "相册_" + t.tid;
  std::map<std::string, std::string> saved = FilesUnder(save_);
  std::map<std::string, std::string> expected;
  for (size_t i = 0; i < t.pictures.size(); ++i) {
    const std::string name = folder + "/(" + std::to_string(i + 1) + ")." +
                             standin::FormatName(t.pictures[i].format);
    if (saved.contains(name))
      expected[name] = standin::PictureBody(data(), t.pictures[i]);
  }
  // The interrupt came while the fourth picture trickled in: it was cut off
  // and nothing after it was asked for.
  EXPECT_EQ(saved.size(), 3u);
  EXPECT_EQ(service_->Count(Interface::kPicture), 4u);
  EXPECT_TRUE(SameFiles(saved, expected));
}

}  // namespace
