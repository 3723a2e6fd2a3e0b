// Durable writes reach the disk: this binary runs with sync_counting_shim.c
// preloaded, which notes every fsync and fdatasync and the path its file had
// at that moment. A durable replacement flushes the new bytes under their
// temporary name, before the rename, and then the folder that holds the
// new name; a plain one flushes nothing. The settings file is written
// durably.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
// The shim is preloaded ahead of the sanitizer's run time.
extern "C" const char* __asan_default_options() {
  return "verify_asan_link_order=0:detect_leaks=1";
}
#endif

namespace platform {
namespace {

using CountFn = int (*)();
using PathFn = void (*)(int, char*, size_t);
using ResetFn = void (*)();

class DurableWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    count_ = reinterpret_cast<CountFn>(dlsym(RTLD_DEFAULT, "tiepic_sync_shim_count"));
    path_ = reinterpret_cast<PathFn>(dlsym(RTLD_DEFAULT, "tiepic_sync_shim_path"));
    reset_ = reinterpret_cast<ResetFn>(dlsym(RTLD_DEFAULT, "tiepic_sync_shim_reset"));
    ASSERT_TRUE(count_ && path_ && reset_) << "run with LD_PRELOAD naming the sync shim";
  }

  // The paths flushed by `write`, in order.
  template <typename Write>
  std::vector<std::string> Flushed(Write write) {
    reset_();
    write();
    std::vector<std::string> paths;
    for (int i = 0; i < count_(); ++i) {
      char path[4096];
      path_(i, path, sizeof path);
      paths.push_back(path);
    }
    return paths;
  }

  // Returns true iff `path` names a temporary file of ReplaceFile in `folder`.
  bool IsTemporaryBeside(const std::string& path, const std::string& folder) const {
    return path.starts_with(folder + "/.tiepic-") && path.ends_with(".tmp");
  }

  testing_support::TempDir temp_;
  const std::string dir_ = temp_.path().string();
  CountFn count_ = nullptr;
  PathFn path_ = nullptr;
  ResetFn reset_ = nullptr;
};

TEST_F(DurableWriteTest, ADurableReplacementFlushesTheBytesBeforeTheRenameThenTheFolder) {
  const std::string path = dir_ + "/a.bin";
  for (int round = 0; round < 2; ++round) {  // a new file, then a replaced one
    SCOPED_TRACE(round);
    const std::vector<std::string> flushed = Flushed([&] {
      ASSERT_TRUE(ReplaceFile(path, {"new ", "bytes"}, true));
    });
    ASSERT_EQ(flushed.size(), 2u);
    EXPECT_TRUE(IsTemporaryBeside(flushed[0], dir_)) << flushed[0];
    EXPECT_EQ(flushed[1], dir_);
    EXPECT_EQ(ReadWholeFile(path), "new bytes");
  }
  EXPECT_TRUE(Flushed([&] { ASSERT_TRUE(ReplaceFile(path, {"plain"}, false)); }).empty());
  EXPECT_EQ(ReadWholeFile(path), "plain");
}

TEST_F(DurableWriteTest, TheSettingsFileIsWrittenDurably) {
  const std::string ini = dir_ + "/settings.ini";
  const std::vector<std::string> flushed =
      Flushed([&] { ASSERT_TRUE(WriteProfileString(ini, "s", "k", "v")); });
  ASSERT_EQ(flushed.size(), 2u);
  EXPECT_TRUE(IsTemporaryBeside(flushed[0], dir_)) << flushed[0];
  EXPECT_EQ(flushed[1], dir_);
  EXPECT_EQ(ReadProfileString(ini, "s", "k", 10240), "v");
}

}  // namespace
}  // namespace platform
