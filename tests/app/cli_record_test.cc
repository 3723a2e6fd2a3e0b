// tiepic-cli run as a program with a record it cannot write: the pictures
// are saved, the log and the closing line say what became of the record,
// and the exit status is 1 (quiet: one line on standard error).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "program_run.h"
#include "stand-in/server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProgramRun;
using testing_support::RunProgram;

const std::string kCli = std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli";

TEST(CliRecord, ARecordThatCannotBeWrittenEndsWithStatusOne) {
  standin::DataSet board;
  board.board = "纸飞机";
  board.threads.emplace_back().tid = "4718203956";
  board.threads[0].title = "春日散步";
  for (int i = 0; i < 3; ++i) {
    board.threads[0].pictures.emplace_back().id = std::to_string(100000000000000000LL + i);
  }
  standin::StandIn service(std::move(board));
  ASSERT_TRUE(service.Start());
  const std::string host = "127.0.0.1:" + std::to_string(service.port());
  testing_support::TempDir home;
  // The record folder's name taken by a file: no record can be made, even
  // by the superuser.
  std::ofstream(home.path() / "防止重复下载数据库") << "not a folder";
  const std::vector<std::string> download = {
      kCli,     service.BoardUrl(), "--web-host", host,          "--picture-host",  host,
      "--home", home.path(),        "-o",         home / "保存", "--prevent-repeat"};

  const ProgramRun run = RunProgram(download);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("警告：防止重复下载数据库无法使用（"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("-------下载结束：1个相册的防止重复下载记录未能写入--------"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("3 pictures saved, 0 skipped as already saved, 0 failed"),
            std::string::npos)
      << run.out;

  std::vector<std::string> quiet = download;
  quiet.push_back("-q");
  const ProgramRun q = RunProgram(quiet);
  EXPECT_EQ(q.status, 1);
  EXPECT_EQ(q.out, "");
  EXPECT_EQ(q.err,
            "tiepic-cli: the repeat-download record of 1 album could not be written; "
            "downloaded without prevent-repeat\n");
}

}  // namespace
