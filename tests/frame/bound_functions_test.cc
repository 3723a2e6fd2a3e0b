// Binding declared platform functions against the registry of substitutes.
#include "frame/bound_functions.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "runtime/fatal.h"
#include "runtime/gbk.h"
#include "runtime/value.h"

namespace frame {

using rt::SetFatalReporter;
using rt::Text;
using rt::ToUtf8;
using rt::operator""_gbk;

namespace {

int Twice(int n) { return 2 * n; }
int Thrice(int n) { return 3 * n; }

TEST(BoundFunctions, BindOnceAndNeverLoadTheLibraryAgain) {
  RegisterPlatformFunction("TestLib.dll", "Twice", &Twice);
  int index = DeclarePlatformFunction("testlib", "Twice");
  EXPECT_EQ(CallPlatformFunction<int(int)>(index, 4), 8);
  EXPECT_EQ(CallPlatformFunction<int(int)>(index, 5), 10);
  EXPECT_EQ(LibraryLoadCount("TESTLIB.DLL"), 1);
  // A second declaration of the same function binds on its own.
  int again = DeclarePlatformFunction("TestLib.dll", "Twice");
  EXPECT_EQ(CallPlatformFunction<int(int)>(again, 1), 2);
  EXPECT_EQ(LibraryLoadCount("testlib"), 2);
}

TEST(BoundFunctions, OrdinalsAndTheSystemSearch) {
  RegisterPlatformFunction("OrdLib", "Thrice", &Thrice, 7);
  EXPECT_EQ(CallPlatformFunction<int(int)>(DeclarePlatformFunction("ordlib.dll", "#7"), 2), 6);
  EXPECT_EQ(CallPlatformFunction<int(int)>(DeclarePlatformFunction("ordlib", "#65543"), 3), 9);
  // The code-page substitutes sit in Kernel32, found by the system search.
  auto wide = CallPlatformFunction<std::u16string(int, std::string_view)>(
      kMultiByteToWideChar, 936, "中"_gbk);
  EXPECT_EQ(wide, u"中");
  EXPECT_EQ((CallPlatformFunction<std::string(int, std::u16string_view)>(kWideCharToMultiByte2,
                                                                         65001, u"中")),
            "中");
}

TEST(BoundFunctions, FolderSubstitutesCreateWhatPrecedesTheLastSeparator) {
  auto root = std::filesystem::path(::testing::TempDir()) / "bound_folders";
  std::filesystem::remove_all(root);
  Text path = (root / "a" / "b" / "file").string();
  EXPECT_TRUE(CallPlatformFunction<bool(const Text&)>(kMakeSureDirectoryPathExists, path));
  EXPECT_TRUE(std::filesystem::is_directory(root / "a" / "b"));
  EXPECT_FALSE(std::filesystem::exists(root / "a" / "b" / "file"));
  EXPECT_TRUE(CallPlatformFunction<bool(const Text&)>(kPathIsDirectoryA, (root / "a").string()));
  EXPECT_FALSE(CallPlatformFunction<bool(const Text&)>(kPathFileExistsA, path));
}

TEST(ShellSubstitute, OpensFoldersAsLocalFilesAndWebAddressesAsTheyAre) {
  HeadlessBackend backend;
  Frame frame{backend};
  const auto root = std::filesystem::path(::testing::TempDir()) / "shell_open";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "pics" / "图 #1%");
  std::filesystem::create_directories(root / "D:\\pics");
  const std::string base = "file://" + root.string();
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(root);
  using ShellExecute = int(const Text&, const Text&, const Text&, const Text&, int);
  auto open = [](const Text& file, const Text& directory = {}) {
    return CallPlatformFunction<ShellExecute>(kShellExecuteA, Text(), file, Text(),
                                              directory, 1);
  };
  // Relative names start at the working folder, or at the folder given.
  EXPECT_GT(open("pics"), 32);
  EXPECT_GT(open("pics/图 #1%"_gbk), 32);
  EXPECT_GT(open("图 #1%"_gbk, (root / "pics").string()), 32);
  EXPECT_GT(open((root / "pics").string()), 32);
  EXPECT_GT(open("https://maker.test/download/softzuixinv/bug.html?a=b#c"), 32);
  // A drive path of the original platform is a folder name like any other,
  // not a web address; a name that is not there opens nothing.
  EXPECT_GT(open("D:\\pics"), 32);
  EXPECT_EQ(open("missing"), 2);
  std::filesystem::current_path(saved);
  EXPECT_EQ(backend.opened(),
            (std::vector<Text>{base + "/pics", base + "/pics/%E5%9B%BE%20%231%25",
                               base + "/pics/%E5%9B%BE%20%231%25", base + "/pics",
                               "https://maker.test/download/softzuixinv/bug.html?a=b#c",
                               base + "/D%3A%5Cpics"}));
}

class BoundFunctionsDeathTest : public ::testing::Test {};

TEST_F(BoundFunctionsDeathTest, MissingLibraryOrFunctionIsFatalWithItsMessage) {
  EXPECT_EXIT(CallPlatformFunction<int(int)>(DeclarePlatformFunction("nolib.dll", "F"), 1),
              ::testing::ExitedWithCode(255), "无法找到指定DLL库文件“nolib.dll”中的输出命令“F”");
  RegisterPlatformFunction("HasLib", "Twice", &Twice);
  EXPECT_EXIT(CallPlatformFunction<int(int)>(DeclarePlatformFunction("HasLib", "Nope"), 1),
              ::testing::ExitedWithCode(255), "无法找到指定DLL库文件“HasLib”中的输出命令“Nope”");
  EXPECT_EXIT(CallPlatformFunction<int(int)>(DeclarePlatformFunction("", "NoSuchExport"), 1),
              ::testing::ExitedWithCode(255), "无法找到指定DLL库文件中的输出命令“NoSuchExport”");
  // The skin library is not part of this program.
  EXPECT_EXIT(CallPlatformFunction<int()>(kSkinAttachRes), ::testing::ExitedWithCode(255),
              "“skin.dll”中的输出命令“SkinAttachRes”");
}

TEST_F(BoundFunctionsDeathTest, AnIndexOutOfRangeIsReportedWithoutHoldingTheTables) {
  auto bind = [] {
    // A report that reaches the tables itself; a hang ends with code 99.
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::seconds(10));
      ::_exit(99);
    }).detach();
    SetFatalReporter([](const std::string& report) {
      std::fprintf(stderr, "loads=%d %s\n", LibraryLoadCount("nolib"), ToUtf8(report).c_str());
    });
    BindPlatformFunction(1 << 20);
  };
  EXPECT_EXIT(bind(), ::testing::ExitedWithCode(255),
              "loads=0 .*错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围");
}

TEST_F(BoundFunctionsDeathTest, CallingThroughTheWrongTypeIsTheStackCheckError) {
  RegisterPlatformFunction("TypedLib", "Twice", &Twice);
  int index = DeclarePlatformFunction("TypedLib", "Twice");
  EXPECT_EXIT(CallPlatformFunction<int(double)>(index, 1.0), ::testing::ExitedWithCode(255),
              "错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误");
}

}  // namespace
}  // namespace frame
