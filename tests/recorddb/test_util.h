// Shared helpers of the record database tests: a fresh folder per test,
// whole-file reads and writes, and the repeat-download table.
#ifndef TIEPIC_TESTS_RECORDDB_TEST_UTIL_H_
#define TIEPIC_TESTS_RECORDDB_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "recorddb/operations.h"

namespace recorddb_test {

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tiepic-recorddb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    recorddb::DbCloseAll();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  // A path in the test's folder (ASCII, so GBK and UTF-8 agree).
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline int32_t I32At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>(uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 |
                              uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24);
}

inline void PutI32At(std::vector<uint8_t>& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// The repeat-download record's table: one text field "photo_id" of 20 bytes.
inline bool CreatePhotoTable(const std::string& path) {
  return recorddb::DbCreate(path, {{"photo_id", 10, 20}});
}

// Opens `db`, builds `index` over photo_id, as the download does.
// Writes `n` repeat-download records that all hold the id "dup" straight into
// a new table at `path`, bypassing the operations (and so any index).
inline void WriteEqualIdRecords(const std::string& path, int32_t n) {
  ASSERT_TRUE(CreatePhotoTable(path));
  std::vector<uint8_t> b = ReadAll(path);
  b.resize(188 + 24 * static_cast<size_t>(n), 0);
  for (int32_t k = 0; k < n; ++k) {
    PutI32At(b, 188 + 24 * k, k + 1);
    std::memcpy(b.data() + 192 + 24 * k, "dup", 3);
  }
  PutI32At(b, 16, n);
  PutI32At(b, 20, n + 1);
  WriteAll(path, b);
}

inline bool OpenPhotoTable(const std::string& db, const std::string& index) {
  return recorddb::DbOpen(db) && recorddb::DbCreateIndex(index, {"photo_id"});
}

inline recorddb::DbOpenOptions ReadOnly() {
  recorddb::DbOpenOptions o;
  o.read_only = 1;
  return o;
}
inline recorddb::DbOpenOptions WithAlias(const rt::Text& alias) {
  recorddb::DbOpenOptions o;
  o.alias = alias;
  return o;
}
inline recorddb::DbOpenOptions WithIndexes(std::vector<rt::Text> names) {
  recorddb::DbOpenOptions o;
  o.index_files = std::move(names);
  return o;
}
inline recorddb::DbOpenOptions WithShareMode(int32_t mode) {
  recorddb::DbOpenOptions o;
  o.share_mode = mode;
  return o;
}

inline std::vector<rt::Value> Id(const std::string& id) { return {rt::Value(rt::Text(id))}; }

}  // namespace recorddb_test

#endif  // TIEPIC_TESTS_RECORDDB_TEST_UTIL_H_
