#include "platform/ini_file.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

constexpr size_t kBuffer = 10240;

class IniFileTest : public ::testing::Test {
 protected:

  void Write(std::string_view content) { ASSERT_TRUE(ReplaceFile(path_, {content}, false)); }
  std::optional<std::string> Read(std::string_view section, std::string_view key) {
    return ReadProfileString(path_, section, key, kBuffer);
  }
  std::string Content() { return ReadWholeFile(path_).value_or("<missing>"); }

  testing_support::TempDir temp_;
  const std::filesystem::path& dir_ = temp_.path();
  std::string path_ = temp_ / "config.ini";
};

TEST_F(IniFileTest, ReadsHandWrittenFiles) {
  Write(
      "; settings written by hand\r\n"
      "\r\n"
      "[ Global ]\n"
      "  save = /home/u/pics  \n"
      "flag=1\n"
      "quoted = \"  padded  \"\n"
      "noequals\n"
      "flag=2\n"
      "[other]\n"
      "flag=3\n"
      "[global]\n"
      "late=x\n");
  EXPECT_EQ(Read("global", "SAVE"), "/home/u/pics");
  EXPECT_EQ(Read("Global", "flag"), "1");  // the first entry of a name wins
  EXPECT_EQ(Read("Global", "quoted"), "  padded  ");
  EXPECT_EQ(Read("Global", "noequals"), "");
  EXPECT_EQ(Read("other", "flag"), "3");
  EXPECT_EQ(Read("Global", "late"), std::nullopt);  // only the first section counts
  EXPECT_EQ(Read("Global", "missing"), std::nullopt);
  EXPECT_EQ(Read("nosuch", "flag"), std::nullopt);
  EXPECT_EQ(Read("Global", "; settings written by hand"), std::nullopt);
  EXPECT_EQ(ReadProfileString(path_ + ".none", "Global", "flag", kBuffer), std::nullopt);
}

TEST_F(IniFileTest, GbkNamesCompareWholeCharacters) {
  // 0x81 0x41 and 0x81 0x61 are two different double-byte characters; an
  // ASCII fold of the trail byte would make them one.
  Write("[\x81\x41]\nk=upper\n[\x81\x61]\nk=lower\n[\xC8\xAB\xBE\xD6]\nv=\xD6\xD0\xCE\xC4\n");
  EXPECT_EQ(Read("\x81\x61", "k"), "lower");
  EXPECT_EQ(Read("\x81\x41", "K"), "upper");
  EXPECT_EQ(Read("\xC8\xAB\xBE\xD6", "v"), "\xD6\xD0\xCE\xC4");
}

TEST_F(IniFileTest, LongValuesAreCutToTheBufferWithoutSplittingACharacter) {
  std::string ascii(20000, 'a');
  Write("[s]\nk=" + ascii + "\n");
  EXPECT_EQ(Read("s", "k")->size(), kBuffer - 1);
  // 10,238 ASCII bytes then a double-byte character: the character does not
  // fit whole into the last byte, so the cut stops before it.
  std::string gbk = std::string(kBuffer - 2, 'b') + "\xD6\xD0" + "tail";
  Write("[s]\nk=" + gbk + "\n");
  EXPECT_EQ(*Read("s", "k"), std::string(kBuffer - 2, 'b'));
  EXPECT_EQ(ReadProfileString(path_, "s", "k", 4), "bbb");
}

TEST_F(IniFileTest, WritesSetReplaceAndAddWithCrLf) {
  ASSERT_TRUE(WriteProfileString(path_, "全局设置", "a", "1"));
  EXPECT_EQ(Content(), "[全局设置]\r\na=1\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "全局设置", "b", "2"));
  ASSERT_TRUE(WriteProfileString(path_, "全局设置", "A", "3"));
  ASSERT_TRUE(WriteProfileString(path_, "second", "c", "4"));
  EXPECT_EQ(Content(), "[全局设置]\r\nA=3\r\nb=2\r\n\r\n[second]\r\nc=4\r\n");
  EXPECT_EQ(Read("全局设置", "a"), "3");
}

TEST_F(IniFileTest, NewKeysGoBeforeTheBlankLinesEndingASection) {
  Write("; top\n[one]\nx=1\n\n[two]\ny=2\n");
  ASSERT_TRUE(WriteProfileString(path_, "one", "z", "9"));
  EXPECT_EQ(Content(), "; top\r\n[one]\r\nx=1\r\nz=9\r\n\r\n[two]\r\ny=2\r\n");
}

TEST_F(IniFileTest, RemovesKeysAndSections) {
  Write("[one]\nx=1\ny=2\n[two]\nz=3\n");
  ASSERT_TRUE(WriteProfileString(path_, "ONE", "x", std::nullopt));
  EXPECT_EQ(Content(), "[one]\r\ny=2\r\n[two]\r\nz=3\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "one", std::nullopt, std::nullopt));
  EXPECT_EQ(Content(), "[two]\r\nz=3\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "two", "nokey", std::nullopt));
  ASSERT_TRUE(WriteProfileString(path_, "nosuch", std::nullopt, std::nullopt));
  EXPECT_EQ(Content(), "[two]\r\nz=3\r\n");
  std::string missing = (dir_ / "missing.ini").string();
  EXPECT_TRUE(WriteProfileString(missing, "s", "k", std::nullopt));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(WriteProfileString((dir_ / "no/dir.ini").string(), "s", "k", "v"));
}

TEST_F(IniFileTest, ASectionWhoseTrailByteIsABracketIsFoundAgain) {
  const std::string section = "\x81\x5Dx";  // the trail byte of 0x81 0x5D is ']'
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteProfileString(path_, section, "k", "v"));
  EXPECT_EQ(Content(), "[" + section + "]\r\nk=v\r\n");
  EXPECT_EQ(Read(section, "k"), "v");
}

TEST_F(IniFileTest, PaddedNamesAreTrimmedLikeTheReaderTrimsThem) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteProfileString(path_, " s ", "k ", "v"));
  EXPECT_EQ(Content(), "[s]\r\nk=v\r\n");
  EXPECT_EQ(Read(" s", "k\t"), "v");
}

TEST_F(IniFileTest, RefusesWhatCouldNotBeReadBackAsWritten) {
  ASSERT_TRUE(WriteProfileString(path_, "s", "k", "v"));
  EXPECT_FALSE(WriteProfileString(path_, "s", "k", "a\r\n[s2]\r\nz=1"));
  EXPECT_FALSE(WriteProfileString(path_, "s]x", "k", "v"));
  EXPECT_FALSE(WriteProfileString(path_, "s", "a=b", "v"));
  EXPECT_FALSE(WriteProfileString(path_, "s", ";k", "v"));
  EXPECT_FALSE(WriteProfileString(path_, "s", "[k", "v"));
  EXPECT_FALSE(WriteProfileString(path_, "s\n", "k", "v"));
  EXPECT_FALSE(WriteProfileString(path_, "", "k", "v"));
  EXPECT_EQ(Content(), "[s]\r\nk=v\r\n");
}

TEST_F(IniFileTest, RoundTripsEveryValueItWrites) {
  const char* values[] = {"1", "0", "/home/用户/图片", "a=b", "  spaced", "\xD6\xD0\x5C"};
  for (const char* v : values) {
    ASSERT_TRUE(WriteProfileString(path_, "s", "k", v));
    std::string expected = std::string(v);
    expected.erase(0, expected.find_first_not_of(' '));  // blanks around a value are not kept
    EXPECT_EQ(Read("s", "k"), expected);
  }
}

TEST_F(IniFileTest, ASettingWrittenThroughALinkReachesTheLinkedFile) {
  const std::string real = (dir_ / "kept-elsewhere.ini").string();
  ASSERT_TRUE(WriteProfileString(real, "全局设置", "下载记录", "0"));
  ASSERT_EQ(::symlink("kept-elsewhere.ini", path_.c_str()), 0);
  ASSERT_TRUE(WriteProfileString(path_, "全局设置", "下载记录", "1"));
  EXPECT_EQ(ReadProfileString(real, "全局设置", "下载记录", kBuffer), "1");
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
}

TEST_F(IniFileTest, AnInterruptedWriteLeavesTheOldFileWhole) {
  std::string big(1 << 20, 'v');
  ASSERT_TRUE(WriteProfileString(path_, "s", "k", "old"));
  ASSERT_TRUE(WriteProfileString(path_, "s", "filler", big));
  for (int delay_us : {0, 500, 2000, 6000}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) WriteProfileString(path_, "s", "k", i % 2 ? "new1" : "new2");
    }
    ::usleep(static_cast<useconds_t>(delay_us));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::optional<std::string> k = Read("s", "k");
    ASSERT_TRUE(k.has_value());
    EXPECT_TRUE(*k == "old" || *k == "new1" || *k == "new2") << *k;
    EXPECT_TRUE(Read("s", "filler") == big.substr(0, kBuffer - 1));
  }
}

}  // namespace
}  // namespace platform
