#include "platform/file_system.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace platform {
namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp_ / name; }

  testing_support::TempDir temp_;
  const std::filesystem::path& dir_ = temp_.path();
};

TEST_F(FileSystemTest, ReplaceFileWritesAllPiecesAndLeavesNoTemporaryBehind) {
  std::string path = Path("a.bin");
  ASSERT_TRUE(ReplaceFile(path, {"ab", "", std::string_view("\0c", 2)}, false));
  EXPECT_EQ(ReadWholeFile(path), std::string("ab\0c", 4));
  ASSERT_TRUE(ReplaceFile(path, {"new"}, true));
  EXPECT_EQ(ReadWholeFile(path), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(FileSystemTest, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode) {
  mode_t saved = ::umask(077);
  std::string path = Path("private");
  bool written = ReplaceFile(path, {"x"}, false);
  ::umask(saved);
  ASSERT_TRUE(written);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(ReplaceFile(path, {"y"}, false));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FileSystemTest, ReplaceFileTakesNamesAtTheFileSystemLimit) {
  std::string longest = Path(std::string(255, 'n'));
  ASSERT_TRUE(ReplaceFile(longest, {"x"}, false));
  EXPECT_EQ(ReadWholeFile(longest), "x");
  EXPECT_FALSE(ReplaceFile(Path(std::string(256, 'n')), {"x"}, false));
}

TEST_F(FileSystemTest, ReplaceFileRefusesFoldersMissingParentsAndReadOnlyTargets) {
  EXPECT_FALSE(ReplaceFile(Path("missing/a.bin"), {"x"}, false));
  EXPECT_FALSE(ReplaceFile(dir_.string(), {"x"}, false));
  EXPECT_FALSE(ReplaceFile("", {"x"}, false));
  // The superuser may write anything, so the refusals are asked for as a
  // user who is not.
  testing_support::RunUnprivileged([](const std::string& folder) {
    const std::string path = folder + "/ro.txt";
    ASSERT_TRUE(ReplaceFile(path, {"old"}, false));
    ASSERT_TRUE(SetReadOnly(path, true));
    EXPECT_FALSE(ReplaceFile(path, {"new"}, true));
    EXPECT_EQ(ReadWholeFile(path), "old");
    ASSERT_TRUE(SetReadOnly(path, false));
    EXPECT_TRUE(ReplaceFile(path, {"new"}, true));
    EXPECT_EQ(ReadWholeFile(path), "new");
    // A folder without write permission takes no new file, nor a
    // temporary one beside a file it holds.
    const std::string closed = folder + "/closed";
    ASSERT_TRUE(CreateDirectories(closed));
    ASSERT_TRUE(ReplaceFile(closed + "/kept.txt", {"old"}, false));
    ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
    EXPECT_FALSE(ReplaceFile(closed + "/new.txt", {"x"}, false));
    EXPECT_FALSE(ReplaceFile(closed + "/kept.txt", {"new"}, false));
    EXPECT_EQ(ReadWholeFile(closed + "/kept.txt"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(closed), {}), 1);
  });
}

TEST_F(FileSystemTest, ReplaceFileWritesThroughChainsOfLinksAndKeepsThem) {
  // settings.ini -> data/hop -> real.ini; each relative target is read from
  // the folder of the link that holds it.
  ASSERT_TRUE(CreateDirectories(Path("data")));
  const std::string real = Path("data/real.ini");
  ASSERT_TRUE(ReplaceFile(real, {"old"}, false));
  ASSERT_EQ(::symlink("real.ini", Path("data/hop").c_str()), 0);
  ASSERT_EQ(::symlink("data/hop", Path("settings.ini").c_str()), 0);
  ASSERT_TRUE(ReplaceFile(Path("settings.ini"), {"new"}, true));
  EXPECT_EQ(ReadWholeFile(real), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(Path("settings.ini")));
  EXPECT_TRUE(std::filesystem::is_symlink(Path("data/hop")));

  // A dangling link gets its target created, as opening it for writing would.
  ASSERT_EQ(::symlink("data/made.jpg", Path("picture.jpg").c_str()), 0);
  ASSERT_TRUE(ReplaceFile(Path("picture.jpg"), {"jpeg"}, false));
  EXPECT_EQ(ReadWholeFile(Path("data/made.jpg")), "jpeg");
  EXPECT_TRUE(std::filesystem::is_symlink(Path("picture.jpg")));

  // Links that lead back to themselves name no file.
  ASSERT_EQ(::symlink("loop_b", Path("loop_a").c_str()), 0);
  ASSERT_EQ(::symlink("loop_a", Path("loop_b").c_str()), 0);
  EXPECT_FALSE(ReplaceFile(Path("loop_a"), {"x"}, false));
  EXPECT_TRUE(std::filesystem::is_symlink(Path("loop_a")));

  // Nothing else was left in either folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 5);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "data"), {}), 3);
}

TEST_F(FileSystemTest, ReplaceFileThroughALinkToAnotherFileSystem) {
  // The temporary file goes beside the link's target, or the rename could
  // not cross over.
  struct stat here, there;
  if (::stat(dir_.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
      here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no second writable file system at /dev/shm";
  }
  const std::string real = "/dev/shm/" + dir_.filename().string() + ".ini";
  ASSERT_TRUE(ReplaceFile(real, {"old"}, false));
  ASSERT_EQ(::symlink(real.c_str(), Path("settings.ini").c_str()), 0);
  EXPECT_TRUE(ReplaceFile(Path("settings.ini"), {"new"}, true));
  EXPECT_EQ(ReadWholeFile(real), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(Path("settings.ini")));
  ::unlink(real.c_str());
}

TEST_F(FileSystemTest, AKilledWriterLeavesTheOldFileOrTheNewOneWhole) {
  std::string path = Path("big.bin");
  std::string old_content(1 << 20, 'o');
  std::string new_content(8 << 20, 'n');
  ASSERT_TRUE(ReplaceFile(path, {old_content}, true));
  for (int delay_us : {0, 200, 1000, 3000, 8000}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) ReplaceFile(path, {new_content}, true);
    }
    ::usleep(static_cast<useconds_t>(delay_us));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::optional<std::string> now = ReadWholeFile(path);
    ASSERT_TRUE(now.has_value());
    EXPECT_TRUE(*now == old_content || *now == new_content) << "size " << now->size();
  }
}

TEST_F(FileSystemTest, DirectorySearchFindsFilesFoldersAndWildcardMatches) {
  ASSERT_TRUE(ReplaceFile(Path("photo [1].jpg"), {"x"}, false));
  ASSERT_TRUE(CreateDirectories(Path("sub/deeper")));
  EXPECT_TRUE(DirectorySearchFindsAny(Path("photo [1].jpg")));
  EXPECT_TRUE(DirectorySearchFindsAny(Path("sub")));
  EXPECT_TRUE(DirectorySearchFindsAny(Path("*.jpg")));
  EXPECT_TRUE(DirectorySearchFindsAny(Path("photo [?].jpg")));  // '[' is literal
  EXPECT_FALSE(DirectorySearchFindsAny(Path("*.png")));
  EXPECT_FALSE(DirectorySearchFindsAny(Path("nothing")));
  EXPECT_FALSE(DirectorySearchFindsAny(Path("sub/")));
  EXPECT_FALSE(DirectorySearchFindsAny(""));
  EXPECT_TRUE(IsDirectory(Path("sub/deeper")));
  EXPECT_FALSE(IsDirectory(Path("photo [1].jpg")));
}

TEST_F(FileSystemTest, ReadOnlyRemovesEveryWriteBitAndClearingGivesTheOwnerBack) {
  std::string path = Path("f");
  ASSERT_TRUE(ReplaceFile(path, {"x"}, false));
  ::chmod(path.c_str(), 0666);
  ASSERT_TRUE(SetReadOnly(path, true));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  ASSERT_TRUE(SetReadOnly(path, false));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_FALSE(SetReadOnly(Path("missing"), true));
}

TEST_F(FileSystemTest, RunDirectoryCanBeRedirectedForTests) {
  std::string real = RunDirectory();
  EXPECT_FALSE(real.empty());
  EXPECT_NE(real.back(), '/');
  SetRunDirectory(dir_.string() + "/");
  EXPECT_EQ(RunDirectory(), dir_.string());
  SetRunDirectory(real);
}

}  // namespace
}  // namespace platform
