// A shell on the headless back end over a fresh temporary program folder.
#ifndef TIEPIC_TESTS_SHELL_SHELL_TEST_SUPPORT_H_
#define TIEPIC_TESTS_SHELL_SHELL_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "platform/file_system.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"

namespace shell {

class ShellTest : public ::testing::Test {
 protected:
  // A fresh program folder for each test.
  static std::filesystem::path MakeFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto folder = std::filesystem::path(::testing::TempDir()) / "tiepic_shell" /
                  (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
  }

  std::filesystem::path ini_file() const { return folder_ / "配置.ini"; }

  // Writes the settings file as GBK lines.
  void WriteIni(const std::string& utf8_lines) {
    std::ofstream(ini_file(), std::ios::binary) << rt::FromUtf8(utf8_lines);
  }

  // The settings file read back as UTF-8, "" when missing.
  std::string ReadIni() const {
    auto bytes = platform::ReadWholeFile(ini_file().string());
    return bytes ? rt::ToUtf8(*bytes) : "";
  }

  rt::Text folder_text() const { return folder_.string(); }

  std::filesystem::path folder_ = MakeFolder();
  frame::HeadlessBackend backend_;
  frame::Frame frame_{backend_, folder_.string()};
  Shell shell_{frame_};
};

}  // namespace shell

#endif  // TIEPIC_TESTS_SHELL_SHELL_TEST_SUPPORT_H_
