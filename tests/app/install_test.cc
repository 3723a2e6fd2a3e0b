// The programs as an installation puts them: `cmake --install` into a
// temporary prefix, the desktop entry and icon in their places, the installed
// tiepic-cli's demo, and an installed program (or one in a folder whose name
// GBK text cannot hold) keeping its settings and records in the user's
// folders. Also the screenshot of the main window that the README shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

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

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// A user whose home is `home` and whose XDG folders are the defaults.
ProgramOptions UserAt(const fs::path& home, const fs::path& directory) {
  ProgramOptions options;
  options.environment = {
      {"HOME", home.string()}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}};
  options.directory = directory.string();
  return options;
}

TEST(Install, PutsTheProgramsDesktopEntryAndIconInPlaceAndTheDemoRuns) {
  testing_support::TempDir dir;
  const fs::path prefix = dir.path() / "prefix";
  const ProgramRun install = RunProgram(
      {TIEPIC_CMAKE, "--install", TIEPIC_BUILD_DIR, "--prefix", prefix.string()});
  ASSERT_EQ(install.status, 0) << install.out << install.err;

  std::set<std::string> programs = {"tiepic-cli", "tiepic-db"};
#ifdef TIEPIC_GUI_BUILT
  programs.insert("tiepic");
  const fs::path entry = prefix / "share/applications/tiepic.desktop";
  EXPECT_TRUE(
      fs::is_regular_file(prefix / "share/icons/hicolor/scalable/apps/tiepic.svg"));
  const ProgramRun valid = RunProgram({"/usr/bin/desktop-file-validate", entry.string()});
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
  EXPECT_EQ(valid.out + valid.err, "");
#endif
  EXPECT_EQ(Names(prefix / "bin"), programs);

  // The installed demo: every picture saved once, none fetched twice.
  const fs::path home = dir.path() / "home";
  const ProgramRun demo = RunProgram({(prefix / "bin/tiepic-cli").string(), "--demo"},
                                     UserAt(home, dir.path()));
  EXPECT_EQ(demo.status, 0) << demo.out << demo.err;
  EXPECT_NE(demo.out.find("Pass 1 fetched 21 pictures and saved 21; pass 2 fetched 0 and "
                          "skipped 21 as already saved."),
            std::string::npos)
      << demo.out;
  EXPECT_EQ(FilesUnder(dir.path() / "demo-output"), 21u);
  EXPECT_NE(demo.out.find("The pictures are in " + (dir.path() / "demo-output").string() +
                          ":\n"
                          "  纸飞机吧_百度贴吧/旧相机试片_4718205833/  4 pictures\n"),
            std::string::npos)
      << demo.out;
  EXPECT_EQ(Names(prefix / "bin"), programs);  // nothing written beside the programs

  // The installed program reads its settings from the user's configuration
  // folder and keeps its records in the user's data folder.
  standin::DataSet board;
  board.board = "纸飞机";
  board.threads.emplace_back().tid = "4718203956";
  board.threads[0].title = "春日散步";
  board.threads[0].pictures.emplace_back().id = "1";
  standin::StandIn service(std::move(board));
  ASSERT_TRUE(service.Start());
  fs::create_directories(home / ".config/tiepic");
  std::ofstream(home / ".config/tiepic/配置.ini", std::ios::binary)
      << "[service]\r\nweb_host=127.0.0.1:" << service.port() << "\r\n";
  const ProgramRun list =
      RunProgram({(prefix / "bin/tiepic-cli").string(), "--list", service.BoardUrl()},
                 UserAt(home, dir.path()));
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "1\t1\t1\t4718203956\t春日散步\n");
  EXPECT_TRUE(fs::is_directory(home / ".local/share/tiepic/防止重复下载数据库"));
  EXPECT_EQ(Names(prefix / "bin"), programs);

  // So does a program whose folder's name GBK text cannot hold.
  const fs::path odd = dir.path() / "程序😀";
  fs::create_directories(odd);
  fs::copy_file(fs::path(TIEPIC_BUILD_DIR) / "tiepic-cli", odd / "tiepic-cli");
  const fs::path other_home = dir.path() / "other-home";
  fs::create_directories(other_home / ".config/tiepic");
  fs::copy_file(home / ".config/tiepic/配置.ini", other_home / ".config/tiepic/配置.ini");
  const ProgramRun odd_list =
      RunProgram({(odd / "tiepic-cli").string(), "--list", service.BoardUrl()},
                 UserAt(other_home, dir.path()));
  EXPECT_EQ(odd_list.out, "1\t1\t1\t4718203956\t春日散步\n");
  EXPECT_TRUE(fs::is_directory(other_home / ".local/share/tiepic/防止重复下载数据库"));
  EXPECT_EQ(Names(odd), std::set<std::string>{"tiepic-cli"});
}

#ifdef TIEPIC_GUI_BUILT
TEST(Install, TheScreenshotProgramRendersTheMainWindowToAPng) {
  testing_support::TempDir dir;
  const fs::path shot = dir.path() / "main-window.png";
  ProgramOptions offscreen;
  offscreen.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  const ProgramRun run = RunProgram(
      {std::string(TIEPIC_BUILD_DIR) + "/tiepic-screenshot", shot.string()}, offscreen);
  EXPECT_EQ(run.status, 0) << run.err;
  std::ifstream in(shot, std::ios::binary);
  std::string head(24, '\0');
  in.read(head.data(), head.size());
  ASSERT_EQ(head.substr(0, 8), "\x89PNG\r\n\x1a\n");
  auto be32 = [&](size_t at) {
    return (static_cast<unsigned char>(head[at]) << 24) |
           (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) |
           static_cast<unsigned char>(head[at + 3]);
  };
  // The whole main window, not a control of it.
  EXPECT_GT(be32(16), 800u);
  EXPECT_GT(be32(20), 500u);
}
#endif

}  // namespace
