// Damaged and hostile files: each gives its error code, and nothing
// crashes, hangs or reads past what the file holds.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>

#include "recorddb/inspect.h"
#include "test_util.h"

namespace recorddb_test {
namespace {

using namespace recorddb;

class Hostile : public TempFolderTest {
 protected:
  // A valid repeat-download table with `n` ids and its index, closed.
  std::vector<uint8_t> GoodTable(int n) {
    EXPECT_TRUE(CreatePhotoTable(Path("g.edb")));
    EXPECT_TRUE(OpenPhotoTable(Path("g.edb"), Path("g")));
    for (int i = 0; i < n; ++i) EXPECT_TRUE(DbAppend(Id(std::to_string(i * 37))));
    EXPECT_TRUE(DbClose());
    return ReadAll(Path("g.edb"));
  }
  int32_t OpenCode(const std::vector<uint8_t>& bytes, const DbOpenOptions& options = {}) {
    WriteAll(Path("h.edb"), bytes);
    const bool ok = DbOpen(Path("h.edb"), options);
    const int32_t code = DbLastError();
    DbCloseAll();
    return ok ? 0 : code;
  }
};

TEST_F(Hostile, RandomBytesAndShortFilesAreNotDatabases) {
  std::mt19937 rng(9);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes(rng() % 400);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    if (round % 3 == 0 && bytes.size() >= 4) std::memcpy(bytes.data(), "WEDB", 4);
    const int32_t code = OpenCode(bytes);
    ASSERT_TRUE(code == -22 || code == -23) << "round " << round << " code " << code;
  }
  std::vector<uint8_t> good = GoodTable(3);
  for (size_t cut : {0, 3, 111, 112, 115, 116, 187}) {
    EXPECT_EQ(OpenCode({good.begin(), good.begin() + cut}), -22) << cut;
  }
}

TEST_F(Hostile, MagicVersionAndHeaderValuesAreChecked) {
  const std::vector<uint8_t> good = GoodTable(3);
  std::vector<uint8_t> b = good;
  b[0] = 'X';
  EXPECT_EQ(OpenCode(b), -22);
  std::memcpy(b.data(), "WCDB", 4);  // the password-protected variant
  EXPECT_EQ(OpenCode(b), -21);
  b = good;
  PutI32At(b, 4, 0x10001);
  EXPECT_EQ(OpenCode(b), -23);
  const std::pair<size_t, int32_t> bad_values[] = {
      {24, 0},   {24, -24},      {24, 0x7fffffff}, {16, -1},   {20, 0},
      {112, 0},  {112, 1 << 28}, {112, -5},        {136, 13},  {136, 0},
      {140, -4}, {140, 10},      {144, 0},         {144, 1025}};
  for (const auto& [offset, value] : bad_values) {
    b = good;
    PutI32At(b, offset, value);
    EXPECT_EQ(OpenCode(b), -22) << "offset " << offset << " value " << value;
  }
  b = good;
  std::memset(b.data() + 116, 'x', 17);  // the name has no zero within 17 bytes
  EXPECT_EQ(OpenCode(b), -22);
}

TEST_F(Hostile, HugeRecordCountIsLoweredToTheRecordsPresent) {
  std::vector<uint8_t> b = GoodTable(3);
  PutI32At(b, 16, 0x7fffffff);
  EXPECT_EQ(OpenCode(b, ReadOnly()), -48);
  EXPECT_EQ(OpenCode(b), 0);
  EXPECT_EQ(I32At(ReadAll(Path("h.edb")), 16), 3);
}

TEST_F(Hostile, DamagedIndexFilesGiveTheirCodes) {
  GoodTable(100);
  const std::vector<uint8_t> good = ReadAll(Path("g.ENX"));
  auto open_with = [&](const std::vector<uint8_t>& index) {
    WriteAll(Path("x.ENX"), index);
    const bool ok = DbOpen(Path("g.edb"), WithIndexes({Path("x")}));
    const int32_t code = DbLastError();
    DbCloseAll();
    return ok ? 0 : code;
  };
  EXPECT_EQ(open_with(good), 0);
  std::vector<uint8_t> b = good;
  PutI32At(b, 36, 1000);  // root outside the file
  EXPECT_EQ(open_with(b), -31);
  b = good;
  PutI32At(b, 24, 1000);  // more blocks than the file holds
  EXPECT_EQ(open_with(b), -49);
  b = good;
  PutI32At(b, 4, 0x20000);
  EXPECT_EQ(open_with(b), -32);
  const std::pair<size_t, int32_t> bad_values[] = {
      {24, 1}, {28, -1}, {32, 999}, {36, 0}, {40, 256}, {44, 0}, {44, 81}, {48, 0}, {48, 9}};
  for (const auto& [offset, value] : bad_values) {
    b = good;
    PutI32At(b, offset, value);
    EXPECT_EQ(open_with(b), -31) << "offset " << offset;
  }
  EXPECT_EQ(open_with({good.begin(), good.begin() + 100}), -31);
  b = good;
  b[0] = 'X';
  EXPECT_EQ(open_with(b), -31);
}

TEST_F(Hostile, CyclesAndOverfullNodesInAnIndexNeverHang) {
  GoodTable(100);
  std::vector<uint8_t> b = ReadAll(Path("g.ENX"));
  const int32_t root = I32At(b, 36);
  ASSERT_GT(root, 1);
  // The root's first child made the root itself: a cycle.
  PutI32At(b, 512 * root + 4, root);
  WriteAll(Path("g.ENX"), b);
  ASSERT_TRUE(DbOpen(Path("g.edb"), WithIndexes({"g"})));
  EXPECT_FALSE(DbFind(Id("0")));
  EXPECT_EQ(DbLastError(), -31);
  EXPECT_FALSE(DbAppend(Id("0")));
  EXPECT_EQ(DbLastError(), -64);
  EXPECT_EQ(ReadAll(Path("g.edb")).size(), 188u + 24 * 100);  // no record left behind
  DbCloseAll();
  EXPECT_FALSE(CheckFiles(Path("g.edb"), Path("g.ENX")).empty());
  // A leaf claiming more than M keys.
  GoodTable(100);
  b = ReadAll(Path("g.ENX"));
  b[512 + 2] = 200;
  WriteAll(Path("g.ENX"), b);
  ASSERT_TRUE(DbOpen(Path("g.edb"), WithIndexes({"g"})));
  EXPECT_FALSE(DbFind(Id("0")));
  EXPECT_EQ(DbLastError(), -31);
  DbCloseAll();
  EXPECT_FALSE(CheckFiles(Path("g.edb"), Path("g.ENX")).empty());
  // Rebuilding the index mends it.
  ASSERT_TRUE(OpenPhotoTable(Path("g.edb"), Path("g")));
  EXPECT_TRUE(DbFind(Id("37")));
  DbCloseAll();
  EXPECT_TRUE(CheckFiles(Path("g.edb"), Path("g.ENX")).empty());
}

TEST_F(Hostile, DumpOfANodeClaimingMoreThanMKeysStaysInsideTheBlock) {
  GoodTable(100);
  std::vector<uint8_t> b = ReadAll(Path("g.ENX"));
  const int32_t max_keys = (512 - 8) / (20 + 4);
  ASSERT_EQ(b[512], 0);  // block 1 is a leaf
  b[512 + 2] = static_cast<uint8_t>(max_keys + 1);
  WriteAll(Path("g.ENX"), b);
  std::ostringstream out;
  EXPECT_EQ(DumpDatabaseFiles(Path("g.edb"), Path("g.ENX"), out), 0);
  const std::string dump = out.str();
  const size_t block1 = dump.find("block 1: leaf, " + std::to_string(max_keys + 1) + " keys\n");
  ASSERT_NE(block1, std::string::npos) << dump;
  const size_t block2 = dump.find("block 2", block1);
  const std::string node = dump.substr(block1, block2 - block1);
  EXPECT_NE(node.find("claims more than M"), std::string::npos) << node;
  size_t shown = 0;
  for (size_t at = node.find("  record "); at != std::string::npos;
       at = node.find("  record ", at + 1)) {
    ++shown;
  }
  EXPECT_EQ(shown, static_cast<size_t>(max_keys));
  EXPECT_FALSE(CheckFiles(Path("g.edb"), Path("g.ENX")).empty());
}

TEST_F(Hostile, IndexEntriesUnderAnotherKeyArePassedOver) {
  // An index built while every record held "dup", then the records given
  // other ids but the last: every entry but one names the wrong record.
  const int32_t n = 5000;
  ASSERT_NO_FATAL_FAILURE(WriteEqualIdRecords(Path("a.edb"), n));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  DbCloseAll();
  std::vector<uint8_t> b = ReadAll(Path("a.edb"));
  for (int32_t k = 0; k + 1 < n; ++k) {
    const std::string id = "id" + std::to_string(k);
    std::memset(b.data() + 192 + 24 * k, 0, 20);
    std::memcpy(b.data() + 192 + 24 * k, id.data(), id.size());
  }
  WriteAll(Path("a.edb"), b);
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithIndexes({"a"})));
  ASSERT_TRUE(DbFind(Id("dup")));
  EXPECT_EQ(DbCurrentPosition(), n - 1);
  ASSERT_TRUE(DbRewind());
  EXPECT_FALSE(DbFind(Id("id7")));  // not in the index under its own id
  EXPECT_EQ(DbLastError(), 0);
}

TEST_F(Hostile, IndexChangedUnderAnOpenDatabaseIsNoticed) {
  GoodTable(50);
  ASSERT_TRUE(DbOpen(Path("g.edb"), WithIndexes({"g"})));
  ASSERT_TRUE(DbFind(Id("37")));
  std::vector<uint8_t> b = ReadAll(Path("g.ENX"));
  PutI32At(b, 44, 30);  // another key size: no longer the index that was opened
  WriteAll(Path("g.ENX"), b);
  ASSERT_TRUE(DbRewind());
  EXPECT_FALSE(DbFind(Id("37")));
  EXPECT_EQ(DbLastError(), -31);
}

TEST_F(Hostile, AuxiliaryFileProblemsHaveTheirCodes) {
  ASSERT_TRUE(DbCreate(Path("m.edb"), {{"memo", 12, 0}}));
  const std::vector<uint8_t> good = ReadAll(Path("m.EDT"));
  auto open_with = [&](const std::vector<uint8_t>& aux) {
    WriteAll(Path("m.EDT"), aux);
    const bool ok = DbOpen(Path("m.edb"));
    const int32_t code = DbLastError();
    DbCloseAll();
    return ok ? 0 : code;
  };
  EXPECT_EQ(open_with(good), 0);
  std::vector<uint8_t> b = good;
  b[1] = 'X';
  EXPECT_EQ(open_with(b), -37);
  b = good;
  PutI32At(b, 4, 5);
  EXPECT_EQ(open_with(b), -36);
  b = good;
  PutI32At(b, 16, 0);
  EXPECT_EQ(open_with(b), -37);
  b = good;
  PutI32At(b, 16, 9);  // more blocks than present: lowered on a read-write open
  EXPECT_EQ(open_with(b), 0);
  EXPECT_EQ(I32At(ReadAll(Path("m.EDT")), 16), 1);
  std::filesystem::remove(Path("m.EDT"));
  EXPECT_FALSE(DbOpen(Path("m.edb")));
  EXPECT_EQ(DbLastError(), -35);
}

TEST_F(Hostile, CheckReportsCountAndTailProblemsWithoutRepairing) {
  std::vector<uint8_t> b = GoodTable(5);
  EXPECT_TRUE(CheckFiles(Path("g.edb"), Path("g.ENX")).empty());
  PutI32At(b, 16, 4);
  b.push_back(7);
  WriteAll(Path("g.edb"), b);
  const std::vector<std::string> problems = CheckFiles(Path("g.edb"), Path("g.ENX"));
  ASSERT_EQ(problems.size(), 3u);  // count, tail, and an index entry past the count
  EXPECT_EQ(ReadAll(Path("g.edb")), b);
}

}  // namespace
}  // namespace recorddb_test
