// A folder of the test's own under the system's temporary folder, named
// after the running test and removed with everything in it at the end.
#ifndef TIEPIC_TESTS_SUPPORT_TEMP_DIR_H_
#define TIEPIC_TESTS_SUPPORT_TEMP_DIR_H_

#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tiepic-") + std::to_string(::getpid());
    if (info) name += std::string("-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the folder, as a UTF-8 string.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support

#endif  // TIEPIC_TESTS_SUPPORT_TEMP_DIR_H_
