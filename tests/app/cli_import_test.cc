// tiepic-db import run as a user runs it: a save folder moved to another
// home, or one whose record folder was deleted, is read into the records so
// that a download elsewhere fetches nothing; a missing and an edited file
// are told and not taken; --check writes nothing. Also: the manifests can be
// turned off from the settings file and the command line.
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
const std::string kDb = std::string(TIEPIC_BUILD_DIR) + "/src/app/tiepic-db";
constexpr char kAlbum[] = "纸飞机吧_百度贴吧/春日散步_4718203956";

class CliImport : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::DataSet board;
    board.board = "纸飞机";
    board.threads.emplace_back().tid = "4718203956";
    board.threads[0].title = "春日散步";
    for (int i = 0; i < 4; ++i) {
      board.threads[0].pictures.emplace_back().id = std::to_string(100000000000000000LL + i);
    }
    service_ = std::make_unique<standin::StandIn>(std::move(board));
    ASSERT_TRUE(service_->Start());
  }

  // Downloads the board with prevent-repeat on; returns the run.
  ProgramRun Download(const fs::path& home, const fs::path& save,
                      std::vector<std::string> extra = {}) {
    const std::string host = "127.0.0.1:" + std::to_string(service_->port());
    std::vector<std::string> argv = {
        kCli,     service_->BoardUrl(), "--web-host", host,          "--picture-host",  host,
        "--home", home.string(),        "-o",         save.string(), "--prevent-repeat"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    service_->log().Clear();
    return RunProgram(argv);
  }
  size_t Fetched() const { return service_->Count(standin::Interface::kPicture); }
  ProgramRun Import(const fs::path& home, const fs::path& folder, bool check = false) {
    std::vector<std::string> argv = {kDb, "import", "--home", home.string(), folder.string()};
    if (check) argv.insert(argv.begin() + 2, "--check");
    return RunProgram(argv);
  }

  testing_support::TempDir dir_;
  std::unique_ptr<standin::StandIn> service_;
};

TEST_F(CliImport, AMovedFolderOrALostRecordIsReadBackAndNotFetchedAgain) {
  struct Case {
    const char* what;
    bool moved;  // else the record folder is deleted
  };
  for (const Case& c : {Case{"moved to another home", true}, Case{"record deleted", false}}) {
    SCOPED_TRACE(c.what);
    const fs::path base = dir_.path() / (c.moved ? "moved" : "deleted");
    const fs::path home = base / "home", save = base / "save";
    const ProgramRun first = Download(home, save);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("; 4 new since the last run\n"), std::string::npos) << first.out;
    fs::path folder = save, records = home;
    if (c.moved) {
      folder = base / "restored";
      fs::rename(save, folder);
      records = base / "other-home";
    } else {
      fs::remove_all(home / "防止重复下载数据库");
    }
    const ProgramRun imported = Import(records, folder);
    EXPECT_EQ(imported.status, 0) << imported.out << imported.err;
    EXPECT_NE(imported.out.find("imported 1 manifest: 4 new, 0 already recorded, 0 missing, "
                                "0 changed\n"),
              std::string::npos)
        << imported.out;
    // A download into another folder: the record alone spares every picture.
    const ProgramRun after = Download(records, base / "elsewhere");
    EXPECT_EQ(after.status, 0);
    EXPECT_EQ(Fetched(), 0u) << after.out;
    EXPECT_NE(after.out.find("0 pictures saved, 4 skipped as already saved"), std::string::npos)
        << after.out;
    const ProgramRun again = Import(records, folder);
    EXPECT_NE(again.out.find(": 0 new, 4 already recorded,"), std::string::npos) << again.out;
  }
}

TEST_F(CliImport, AMissingAndAnEditedFileAreToldAndFetchedAgain) {
  const fs::path home = dir_.path() / "home", save = dir_.path() / "save";
  ASSERT_EQ(Download(home, save).status, 0);
  fs::remove(save / kAlbum / "(2).jpg");
  std::ofstream(save / kAlbum / "(3).jpg", std::ios::binary | std::ios::trunc) << "retouched";
  const fs::path other = dir_.path() / "other-home";

  const ProgramRun check = Import(other, save, true);
  EXPECT_EQ(check.status, 1) << check.out << check.err;
  EXPECT_NE(check.out.find("missing " + (save / kAlbum / "(2).jpg").string() + "\n"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("changed " + (save / kAlbum / "(3).jpg").string() + "\n"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("checked 1 manifest: 2 new, 0 already recorded, 1 missing, 1 changed "
                           "(nothing written)\n"),
            std::string::npos)
      << check.out;
  EXPECT_FALSE(fs::exists(other / "防止重复下载数据库"));

  const ProgramRun imported = Import(other, save);
  EXPECT_EQ(imported.status, 1);
  EXPECT_NE(imported.out.find("imported 1 manifest: 2 new, 0 already recorded, 1 missing, "
                              "1 changed\n"),
            std::string::npos)
      << imported.out;
  // Only the two not taken are fetched, the folder's manifest knowing
  // them no more than the record; the edited file stays as it is.
  const ProgramRun after = Download(other, save);
  EXPECT_EQ(Fetched(), 2u) << after.out;
  EXPECT_NE(after.out.find("; 0 new since the last run\n"), std::string::npos) << after.out;
  std::ifstream edited(save / kAlbum / "(3).jpg", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(edited), {}), "retouched");
  EXPECT_TRUE(fs::exists(save / kAlbum / "(3)_2.jpg"));
  EXPECT_TRUE(fs::exists(save / kAlbum / "(2).jpg"));

  // The folder is whole again: each picture counted once, none changed or
  // missing. The check reads the record as it stands and writes nothing,
  // not even where it is damaged (a download is to tell that).
  const fs::path record = other / "防止重复下载数据库" / "4718203956.edb";
  fs::resize_file(record, fs::file_size(record) - 10);
  const auto records = [&] {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(record.parent_path())) {
      std::ifstream in(e.path(), std::ios::binary);
      files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
  };
  const auto before = records();
  const ProgramRun healed = Import(other, save, true);
  EXPECT_EQ(healed.status, 0) << healed.out << healed.err;
  EXPECT_NE(healed.out.find("4718203956.edb cannot be read ("), std::string::npos) << healed.out;
  EXPECT_NE(healed.out.find("checked 1 manifest: 4 new, 0 already recorded, 0 missing, "
                            "0 changed (nothing written)\n"),
            std::string::npos)
      << healed.out;
  EXPECT_EQ(records(), before);
}

TEST_F(CliImport, ManifestsCanBeTurnedOff) {
  const fs::path home = dir_.path() / "home";
  fs::create_directories(home);
  std::ofstream(home / "配置.ini") << "[download]\r\nmanifest=0\r\n";
  const ProgramRun off = Download(home, dir_.path() / "a");
  EXPECT_EQ(off.status, 0);
  EXPECT_FALSE(fs::exists(dir_.path() / "a" / kAlbum / ".tiepic.jsonl"));
  EXPECT_EQ(off.out.find("new since the last run"), std::string::npos) << off.out;
  EXPECT_EQ(off.out.find("本次新增"), std::string::npos) << off.out;
  // The command line wins both ways.
  EXPECT_EQ(Download(home, dir_.path() / "b", {"--manifest", "--no-prevent-repeat"}).status, 0);
  EXPECT_TRUE(fs::exists(dir_.path() / "b" / kAlbum / ".tiepic.jsonl"));
  fs::remove(home / "配置.ini");
  EXPECT_EQ(Download(home, dir_.path() / "c", {"--no-manifest", "--no-prevent-repeat"}).status, 0);
  EXPECT_FALSE(fs::exists(dir_.path() / "c" / kAlbum / ".tiepic.jsonl"));
}

}  // namespace
