#include "runtime/file_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "runtime/gbk.h"
#include "support/temp_dir.h"

namespace rt {
namespace {

class FileCommandsTest : public ::testing::Test {
 protected:
  testing_support::TempDir temp_;
  const std::filesystem::path& dir_ = temp_.path();
  // Paths of the logic are GBK texts; the folder name itself is ASCII.
  Text base_ = dir_.string() + "/";
};

TEST_F(FileCommandsTest, WriteBytesToFileStoresGbkNamedFilesAsUtf8Names) {
  Text path = base_ + "图片_1.jpg"_gbk;
  Bytes a{1, 2}, empty, b{3};
  ASSERT_TRUE(WriteBytesToFile(path, {a, empty, b}));
  EXPECT_EQ(platform::ReadWholeFile((dir_ / "图片_1.jpg").string()), "\x01\x02\x03");
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(FileExists(base_ + "*.jpg"));
  EXPECT_FALSE(FileExists(base_ + "*.png"));
  EXPECT_FALSE(WriteBytesToFile("", {a}));
  EXPECT_FALSE(WriteBytesToFile(base_ + "missing/x.jpg", {a}));
  EXPECT_FALSE(FileExists(""));
}

TEST_F(FileCommandsTest, SetFileAttrsMapsOnlyTheReadOnlyBit) {
  Text path = base_ + "f";
  ASSERT_TRUE(WriteBytesToFile(path, {Bytes{1}}));
  ASSERT_TRUE(SetFileAttrs(path, 0x1 | 0x2 | 0x4 | 0x20 | 0x80));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_TRUE(SetFileAttrs(path, 0x20));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0200, 0u);
  EXPECT_FALSE(SetFileAttrs(base_ + "nothing", 1));
}

TEST_F(FileCommandsTest, IniTextsRoundTripAndEmptyValuesRemoveKeys) {
  Text ini = base_ + "配置.ini"_gbk;
  const Text& section = "全局设置"_gbk;
  EXPECT_EQ(ReadIniText(ini, section, "a", "dflt"), "dflt");
  ASSERT_TRUE(WriteIniText(ini, section, Text("a"), "保存位置"_gbk));
  EXPECT_EQ(ReadIniText(ini, section, "a"), "保存位置"_gbk);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "配置.ini"));
  ASSERT_TRUE(WriteIniText(ini, section, Text("a"), Text()));
  EXPECT_EQ(ReadIniText(ini, section, "a", "gone"), "gone");
  ASSERT_TRUE(WriteIniText(ini, section, Text("b"), Text("1")));
  ASSERT_TRUE(WriteIniText(ini, section));  // no key: the section goes
  EXPECT_EQ(ReadIniText(ini, section, "b"), "");
  EXPECT_FALSE(WriteIniText("", section, Text("a"), Text("1")));
}

TEST_F(FileCommandsTest, ReadIniTextCutsValuesAndDefaultsAtWholeCharacters) {
  Text ini = base_ + "c.ini";
  Text long_value = std::string(10238, 'a') + "中文"_gbk;
  ASSERT_TRUE(WriteIniText(ini, "s", Text("k"), long_value));
  EXPECT_EQ(ReadIniText(ini, "s", "k"), std::string(10238, 'a'));
  EXPECT_EQ(ReadIniText(ini, "s", "missing", long_value), std::string(10238, 'a'));
}

TEST_F(FileCommandsTest, ReadIniTextSkipsLeadingControlsAndRefusesBlankNames) {
  Text ini = base_ + "c.ini";
  ASSERT_TRUE(WriteIniText(ini, "s", Text("k"), Text("v")));
  EXPECT_EQ(ReadIniText("  " + ini, " \t s", "\r\nk"), "v");
  EXPECT_EQ(ReadIniText(ini, "   ", "k", "default"), "");
  EXPECT_EQ(ReadIniText(ini, "s", " ", "default"), "");
  EXPECT_EQ(ReadIniText("  ", "s", "k", "default"), "");
}

TEST_F(FileCommandsTest, RunDirectoryIsGbkWithoutATrailingSeparator) {
  std::string saved = platform::RunDirectory();
  platform::SetRunDirectory((dir_ / "程序").string());
  EXPECT_EQ(RunDirectory(), base_ + "程序"_gbk);
  platform::SetRunDirectory(saved);
}

}  // namespace
}  // namespace rt
