// Where the program keeps its settings and records: beside itself, or in the
// user's folders when it is installed or its folder's name does not fit GBK.
#include "platform/program_folders.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

const UserFolders kUser{"/home/u/.config", "/home/u/.local/share", "/home/u/Pictures"};

// Sets an environment variable for the scope; restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramFolders, AProgramInAFolderOfItsOwnKeepsEverythingThere) {
  testing_support::TempDir dir;
  const std::string folder = dir / "tiepic";
  fs::create_directories(folder);
  const ProgramFolders folders = ChooseProgramFolders(folder, kUser);
  EXPECT_FALSE(folders.relocated);
  EXPECT_EQ(folders.program, folder);
  EXPECT_EQ(folders.settings, folder);
  EXPECT_EQ(folders.data, folder);
}

TEST(ProgramFolders, AnInstalledProgramUsesTheUsersFolders) {
  testing_support::TempDir dir;
  fs::create_directories(dir.path() / "bin");
  fs::create_directories(dir.path() / "share/applications");
  const std::string bin = dir / "bin";
  EXPECT_FALSE(ChooseProgramFolders(bin, kUser).relocated);
  std::ofstream(dir.path() / "share/applications/tiepic.desktop") << "[Desktop Entry]\n";
  const ProgramFolders folders = ChooseProgramFolders(bin, kUser);
  EXPECT_TRUE(folders.relocated);
  EXPECT_EQ(folders.program, "/home/u/Pictures/tiepic");
  EXPECT_EQ(folders.settings, "/home/u/.config/tiepic");
  EXPECT_EQ(folders.data, "/home/u/.local/share/tiepic");
}

TEST(ProgramFolders, AFolderNameGbkCannotHoldIsNotUsed) {
  testing_support::TempDir dir;
  const std::string fits = dir / "程序";
  const std::string unfit = dir / "程序😀";
  fs::create_directories(fits);
  fs::create_directories(unfit);
  EXPECT_FALSE(ChooseProgramFolders(fits, kUser).relocated);
  const ProgramFolders folders = ChooseProgramFolders(unfit, kUser);
  EXPECT_TRUE(folders.relocated);
  EXPECT_EQ(folders.settings, "/home/u/.config/tiepic");
}

// The superuser writes into every folder, so this is asked as a user who
// is not.
TEST(ProgramFolders, AFolderTheUserCannotWriteIsNotUsed) {
  testing_support::RunUnprivileged([](const std::string& dir) {
    const std::string folder = dir + "/bin";
    fs::create_directories(folder);
    EXPECT_FALSE(ChooseProgramFolders(folder, kUser).relocated);
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
    const ProgramFolders folders = ChooseProgramFolders(folder, kUser);
    EXPECT_TRUE(folders.relocated);
    EXPECT_EQ(folders.settings, "/home/u/.config/tiepic");
    EXPECT_EQ(folders.data, "/home/u/.local/share/tiepic");
  });
}

TEST(ProgramFolders, TheUsersFoldersFollowTheDesktopsConventions) {
  testing_support::TempDir dir;
  const std::string home = dir / "home";
  fs::create_directories(home + "/.config");
  ScopedEnv set_home("HOME", home);
  {
    ScopedEnv config("XDG_CONFIG_HOME", "relative/is/ignored");
    ScopedEnv data("XDG_DATA_HOME", "");
    const UserFolders user = UserFoldersFromEnvironment();
    EXPECT_EQ(user.config, home + "/.config");
    EXPECT_EQ(user.data, home + "/.local/share");
    EXPECT_EQ(user.pictures, home + "/Pictures");
  }
  std::ofstream(home + "/.config/user-dirs.dirs")
      << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
         "XDG_PICTURES_DIR=\"$HOME/图片\"\n";
  ScopedEnv config("XDG_CONFIG_HOME", home + "/.config");
  ScopedEnv data("XDG_DATA_HOME", dir / "data");
  const UserFolders user = UserFoldersFromEnvironment();
  EXPECT_EQ(user.config, home + "/.config");
  EXPECT_EQ(user.data, dir / "data");
  EXPECT_EQ(user.pictures, home + "/图片");
}

}  // namespace
}  // namespace platform
