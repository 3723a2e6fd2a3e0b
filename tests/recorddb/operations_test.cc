// The operations' behaviour: open checks and repairs, finding from the
// current position, the list of open databases, and the error codes.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "recorddb/file.h"
#include "recorddb/inspect.h"
#include "runtime/gbk.h"
#include "test_util.h"

namespace recorddb_test {
namespace {

using namespace recorddb;
using rt::operator""_gbk;

class Operations : public TempFolderTest {
 protected:
  // A repeat-download table holding `ids`, closed again.
  void MakeAlbum(const std::string& name, const std::vector<std::string>& ids) {
    ASSERT_TRUE(CreatePhotoTable(Path(name)));
    ASSERT_TRUE(DbOpen(Path(name)));
    for (const std::string& id : ids) ASSERT_TRUE(DbAppend(Id(id)));
    ASSERT_TRUE(DbClose());
  }
};

TEST_F(Operations, DownloadCycleFindsOnlyRecordedIds) {
  ASSERT_TRUE(CreatePhotoTable(Path("album.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("album.edb"), Path("album")));
  for (int i = 0; i < 300; ++i) {
    const std::string id = std::to_string(1000 + i * 7);
    ASSERT_TRUE(DbRewind());
    ASSERT_FALSE(DbFind(Id(id)));
    ASSERT_EQ(DbLastError(), 0);
    ASSERT_TRUE(DbAppend(Id(id)));
    ASSERT_EQ(DbCurrentPosition(), i);
  }
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(DbRewind());
    ASSERT_TRUE(DbFind(Id(std::to_string(1000 + i * 7)))) << i;
    ASSERT_EQ(DbCurrentPosition(), i);
    ASSERT_TRUE(DbRewind());
    ASSERT_FALSE(DbFind(Id(std::to_string(1001 + i * 7))));
  }
  ASSERT_TRUE(DbClose());
  // A later run rebuilds the index from the records and finds them all.
  ASSERT_TRUE(OpenPhotoTable(Path("album.edb"), Path("album")));
  for (int i = 0; i < 300; i += 13) {
    ASSERT_TRUE(DbRewind());
    EXPECT_TRUE(DbFind(Id(std::to_string(1000 + i * 7)))) << i;
  }
}

TEST_F(Operations, FindAfterAppendWithoutRewindSearchesFromTheNewRecord) {
  MakeAlbum("a.edb", {"old1", "old2"});
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbAppend(Id("new")));
  EXPECT_FALSE(DbFind(Id("old1")));
  EXPECT_EQ(DbLastError(), 0);
  EXPECT_EQ(DbCurrentPosition(), 2);  // unchanged by a miss
  EXPECT_TRUE(DbFind(Id("new")));
  ASSERT_TRUE(DbRewind());
  EXPECT_TRUE(DbFind(Id("old1")));
  EXPECT_EQ(DbCurrentPosition(), 0);
}

TEST_F(Operations, FindStepsThroughEqualKeysFromThePosition) {
  MakeAlbum("a.edb", {"x", "y", "x", "x"});
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbFind(Id("x")));
  EXPECT_EQ(DbCurrentPosition(), 0);
  ASSERT_TRUE(DbFind(Id("y")));
  EXPECT_EQ(DbCurrentPosition(), 1);
  ASSERT_TRUE(DbFind(Id("x")));
  EXPECT_EQ(DbCurrentPosition(), 2);
  ASSERT_TRUE(DbFind(Id("x")));  // the position's own record matches again
  EXPECT_EQ(DbCurrentPosition(), 2);
}

TEST_F(Operations, EntryLeftByAFailedAppendIsNoFalseHit) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbAppend(Id("1")));
  ASSERT_TRUE(DbAppend(Id("2")));
  ASSERT_TRUE(DbCreateIndex(Path("b"), {"photo_id"}));
  ASSERT_TRUE(DbClose());
  std::vector<uint8_t> b = ReadAll(Path("b.ENX"));
  b[512 + 2] = 200;  // the second index's only leaf claims too many keys
  WriteAll(Path("b.ENX"), b);
  // The first index takes the entry ("lost", 2), the second refuses its
  // own, and the record is cut off again: the entry stays behind.
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithIndexes({"a", "b"})));
  EXPECT_FALSE(DbAppend(Id("lost")));
  EXPECT_EQ(DbLastError(), -64);
  ASSERT_TRUE(DbClose());
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithIndexes({"a"})));
  EXPECT_FALSE(DbFind(Id("lost")));  // slot 2 is empty
  EXPECT_EQ(DbLastError(), 0);
  ASSERT_TRUE(DbAppend(Id("other")));  // slot 2 holds another id now
  ASSERT_TRUE(DbRewind());
  EXPECT_FALSE(DbFind(Id("lost")));
  EXPECT_EQ(DbLastError(), 0);
  ASSERT_TRUE(DbAppend(Id("lost")));  // a real one, after the stale entry
  ASSERT_TRUE(DbRewind());
  ASSERT_TRUE(DbFind(Id("lost")));
  EXPECT_EQ(DbCurrentPosition(), 3);
  ASSERT_TRUE(DbRewind());
  ASSERT_TRUE(DbFind(Id("other")));
  EXPECT_EQ(DbCurrentPosition(), 2);
  DbCloseAll();
  // The stale entry is really there: the check sees record 2 under "lost".
  const std::vector<std::string> problems = CheckFiles(Path("a.edb"), Path("a.ENX"));
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find("record 2"), std::string::npos) << problems[0];
}

TEST_F(Operations, LongTextMatchesOnItsFirstTwentyBytes) {
  MakeAlbum("a.edb", {"0123456789abcdefghij"});
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  EXPECT_TRUE(DbFind(Id("0123456789abcdefghij0123456789abcdefghij")));
  ASSERT_TRUE(DbRewind());
  EXPECT_FALSE(DbFind(Id("0123456789abcdefghi")));
  // Appending the 40-byte text stores the same 20 bytes: the same key.
  ASSERT_TRUE(DbAppend(Id("0123456789abcdefghijXXXXXXXXXXXXXXXXXXXX")));
  ASSERT_TRUE(DbRewind());
  ASSERT_TRUE(DbFind(Id("0123456789abcdefghij")));
  EXPECT_EQ(DbCurrentPosition(), 0);
}

TEST_F(Operations, CutLastRecordIsDroppedByAReadWriteOpen) {
  MakeAlbum("a.edb", {"1", "2", "3"});
  std::vector<uint8_t> b = ReadAll(Path("a.edb"));
  b.resize(b.size() - 10);
  WriteAll(Path("a.edb"), b);
  // The header still counts 3: a read-only open cannot repair that.
  EXPECT_FALSE(DbOpen(Path("a.edb"), ReadOnly()));
  EXPECT_EQ(DbLastError(), -48);
  EXPECT_EQ(ReadAll(Path("a.edb")).size(), b.size());
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  const std::vector<uint8_t> after = ReadAll(Path("a.edb"));
  EXPECT_EQ(after.size(), 188u + 2 * 24);
  EXPECT_EQ(I32At(after, 16), 2);
  EXPECT_FALSE(DbFind(Id("3")));
  EXPECT_TRUE(DbFind(Id("2")));
  ASSERT_TRUE(DbAppend(Id("4")));  // lands in slot 2 with a fresh sequence number
  EXPECT_EQ(I32At(ReadAll(Path("a.edb")), 188 + 48), 4);
}

TEST_F(Operations, HeaderCountTooLargeIsLoweredOrRefusedWhenReadOnly) {
  MakeAlbum("a.edb", {"1", "2"});
  std::vector<uint8_t> b = ReadAll(Path("a.edb"));
  PutI32At(b, 16, 5);
  WriteAll(Path("a.edb"), b);
  EXPECT_FALSE(DbOpen(Path("a.edb"), ReadOnly()));
  EXPECT_EQ(DbLastError(), -48);
  EXPECT_EQ(DbOpenCount(), 0);
  ASSERT_TRUE(DbOpen(Path("a.edb")));
  EXPECT_EQ(I32At(ReadAll(Path("a.edb")), 16), 2);
}

TEST_F(Operations, WholeRecordsBeyondTheCountAreKeptByRaisingIt) {
  MakeAlbum("a.edb", {"1", "2", "3"});
  std::vector<uint8_t> b = ReadAll(Path("a.edb"));
  PutI32At(b, 16, 1);
  PutI32At(b, 20, 2);  // as if the appends of 2 and 3 never reached the header
  WriteAll(Path("a.edb"), b);
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  EXPECT_EQ(I32At(ReadAll(Path("a.edb")), 16), 3);
  EXPECT_EQ(I32At(ReadAll(Path("a.edb")), 20), 4);  // sequence numbers are not reused
  EXPECT_TRUE(DbFind(Id("3")));
  ASSERT_TRUE(DbAppend(Id("4")));
  EXPECT_EQ(I32At(ReadAll(Path("a.edb")), 188 + 3 * 24), 4);
}

TEST_F(Operations, ReadOnlyOpenFindsButDoesNotAppend) {
  MakeAlbum("a.edb", {"1"});
  ASSERT_TRUE(DbOpen(Path("a.edb"), ReadOnly()));
  ASSERT_TRUE(DbCreateIndex(Path("a"), {"photo_id"}));
  EXPECT_TRUE(DbFind(Id("1")));
  EXPECT_FALSE(DbAppend(Id("2")));
  EXPECT_EQ(DbLastError(), -6);
  EXPECT_EQ(ReadAll(Path("a.edb")).size(), 212u);
}

TEST_F(Operations, SameFileOpenedTwiceFailsAndTheFirstStaysCurrent) {
  MakeAlbum("a.edb", {"1"});
  MakeAlbum("b.edb", {"2"});
  ASSERT_TRUE(DbOpen(Path("a.edb")));
  EXPECT_FALSE(DbOpen(Path("A.EDB")));  // names compare without case
  EXPECT_EQ(DbLastError(), -38);
  std::filesystem::create_symlink(Path("a.edb"), Path("link.edb"));
  EXPECT_FALSE(DbOpen(Path("link.edb")));  // the same file by another name
  EXPECT_EQ(DbLastError(), -38);
  EXPECT_EQ(DbOpenCount(), 1);
  ASSERT_TRUE(DbCreateIndex(Path("a"), {"photo_id"}));
  EXPECT_TRUE(DbFind(Id("1")));
}

TEST_F(Operations, CloseMovesTheCurrentNumberAsTheListChanges) {
  MakeAlbum("a.edb", {"in-a"});
  MakeAlbum("b.edb", {"in-b"});
  MakeAlbum("c.edb", {"in-c"});
  EXPECT_TRUE(DbClose());  // nothing current: does nothing
  EXPECT_EQ(DbLastError(), 0);
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithAlias("first")));
  ASSERT_TRUE(DbOpen(Path("b.edb")));
  ASSERT_TRUE(DbOpen(Path("c.edb")));
  ASSERT_TRUE(DbCreateIndex(Path("c"), {"photo_id"}));
  ASSERT_TRUE(DbClose(rt::Text("FIRST")));  // by alias, before the current one
  EXPECT_TRUE(DbFind(Id("in-c")));          // c is still current
  ASSERT_TRUE(DbClose(rt::Text("b")));      // by title
  EXPECT_TRUE(DbFind(Id("in-c")));
  EXPECT_FALSE(DbClose(rt::Text("nothing")));
  EXPECT_EQ(DbLastError(), -27);
  ASSERT_TRUE(DbClose(Path("c.edb")));  // by full path; it was current
  EXPECT_EQ(DbOpenCount(), 0);
  EXPECT_FALSE(DbFind(Id("in-c")));
  EXPECT_EQ(DbLastError(), -67);
  EXPECT_FALSE(DbRewind());
  EXPECT_EQ(DbLastError(), -67);
  EXPECT_FALSE(DbAppend(Id("x")));
  EXPECT_EQ(DbLastError(), -67);
  EXPECT_FALSE(DbCreateIndex(Path("c"), {"photo_id"}));
  EXPECT_EQ(DbLastError(), -67);
}

TEST_F(Operations, OpenArgumentErrorsLeaveTheListUnchanged) {
  MakeAlbum("a.edb", {"1"});
  EXPECT_FALSE(DbOpen(""));
  EXPECT_EQ(DbLastError(), -3);
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithAlias("1st")));
  EXPECT_EQ(DbLastError(), -24);
  EXPECT_FALSE(DbOpen(Path("missing.edb")));
  EXPECT_EQ(DbLastError(), -3);
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes({Path("none")})));
  EXPECT_EQ(DbLastError(), -30);
  EXPECT_EQ(DbOpenCount(), 0);
  ASSERT_TRUE(CreatePhotoTable(Path("x")));  // made as x.EDB
  EXPECT_TRUE(DbOpen(Path("x"), WithAlias("别名_1"_gbk))) << DbLastError();
}

TEST_F(Operations, IndexNamedAtOpenBecomesCurrentAndIsChecked) {
  MakeAlbum("a.edb", {"1", "2"});
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbClose());
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithIndexes({"a"})));  // in the table's folder
  EXPECT_TRUE(DbFind(Id("2")));
  ASSERT_TRUE(DbAppend(Id("3")));  // inserted into the named index too
  ASSERT_TRUE(DbRewind());
  EXPECT_TRUE(DbFind(Id("3")));
  ASSERT_TRUE(DbClose());
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes({"a", "a.ENX"})));
  EXPECT_EQ(DbLastError(), -33);
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes({"a", "b", "c", "d", "e", "f", "g",
                                                      "h", "i", "j", "k"})));
  EXPECT_EQ(DbLastError(), -30);  // the second one is missing before the count matters
  // An index over another table's field does not fit this table.
  ASSERT_TRUE(DbCreate(Path("n.edb"), {{"photo_id", 10, 30}}));
  ASSERT_TRUE(DbOpen(Path("n.edb")));
  ASSERT_TRUE(DbCreateIndex(Path("n"), {"photo_id"}));
  ASSERT_TRUE(DbClose());
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes({"n"})));
  EXPECT_EQ(DbLastError(), -53);
  ASSERT_TRUE(DbCreate(Path("m.edb"), {{"photo_id", 3, 0}}));
  ASSERT_TRUE(DbOpen(Path("m.edb")));
  ASSERT_TRUE(DbCreateIndex(Path("m"), {"photo_id"}));
  ASSERT_TRUE(DbClose());
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes({"m"})));
  EXPECT_EQ(DbLastError(), -54);
  ASSERT_TRUE(DbCreate(Path("o.edb"), {{"other", 10, 20}}));
  ASSERT_TRUE(DbOpen(Path("o.edb")));
  ASSERT_TRUE(DbCreateIndex(Path("o"), {"other"}));
  ASSERT_TRUE(DbClose());
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes({"o"})));
  EXPECT_EQ(DbLastError(), -43);
}

TEST_F(Operations, CreateIndexChecksItsFields) {
  ASSERT_TRUE(DbCreate(Path("t.edb"), {{"a", 10, 50}, {"b", 10, 40}, {"c", 11, 0},
                                       {"d", 3, 0}}));
  ASSERT_TRUE(DbOpen(Path("t.edb")));
  const std::pair<std::vector<rt::Text>, int32_t> cases[] = {
      {{"a", ""}, -18}, {{"zz"}, -40}, {{"c"}, -42}, {{"a", "A"}, -20},
      {{"a", "b"}, -56}, {{}, -16},
      {{"d", "d", "d", "d", "d", "d", "d", "d", "d"}, -39}};
  for (const auto& [fields, code] : cases) {
    EXPECT_FALSE(DbCreateIndex(Path("i"), fields));
    EXPECT_EQ(DbLastError(), code);
  }
  EXPECT_FALSE(DbCreateIndex("", {"a"}));
  EXPECT_EQ(DbLastError(), -3);
  EXPECT_FALSE(DbFind({rt::Value(int32_t{1})}));
  EXPECT_EQ(DbLastError(), -69);
  ASSERT_TRUE(DbCreateIndex(Path("i"), {"d", "a"}));
  EXPECT_FALSE(DbFind({rt::Value(int32_t{1})}));
  EXPECT_EQ(DbLastError(), -73);
  EXPECT_FALSE(DbFind({rt::Value(rt::Text("1")), rt::Value(rt::Text("x"))}));
  EXPECT_EQ(DbLastError(), -72);
  ASSERT_TRUE(DbAppend({rt::Value(rt::Text("k")), rt::Value(), rt::Value(rt::Bytes{1, 2}),
                        rt::Value(int64_t{7})}));
  EXPECT_TRUE(DbFind({rt::Value(7.9), rt::Value(rt::Text("k"))}));  // numbers convert
  EXPECT_FALSE(DbAppend({rt::Value(int32_t{1})}));
  EXPECT_EQ(DbLastError(), -72);
  EXPECT_EQ(ReadAll(Path("t.EDT")).size(), 1024u);  // the byte array's block
}

TEST_F(Operations, TenIndexesAtMostAndRebuildingOneReplacesIt) {
  MakeAlbum("a.edb", {"1"});
  ASSERT_TRUE(DbOpen(Path("a.edb")));
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(DbCreateIndex(Path("i" + std::to_string(i)), {"photo_id"}));
  }
  EXPECT_FALSE(DbCreateIndex(Path("i10"), {"photo_id"}));
  EXPECT_EQ(DbLastError(), -34);
  EXPECT_TRUE(DbCreateIndex(Path("i3"), {"photo_id"}));
  ASSERT_TRUE(DbAppend(Id("2")));
  ASSERT_TRUE(DbRewind());
  EXPECT_TRUE(DbFind(Id("2")));
  ASSERT_TRUE(DbClose());
  // The same limit for index files named at open: ten open, an eleventh
  // is refused before it is even looked for.
  std::vector<rt::Text> names;
  for (int i = 0; i < 10; ++i) names.push_back(Path("i" + std::to_string(i)));
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithIndexes(names))) << DbLastError();
  ASSERT_TRUE(DbClose());
  names.push_back(Path("missing"));
  EXPECT_FALSE(DbOpen(Path("a.edb"), WithIndexes(names)));
  EXPECT_EQ(DbLastError(), -34);
  EXPECT_FALSE(DbClose(Path("a.edb")));  // it was not left open
}

TEST_F(Operations, IndexBuildReadsAcrossBatchBoundaries) {
  // 7,000 records of 24 bytes span two batches of 6,826 records.
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  std::vector<uint8_t> b = ReadAll(Path("a.edb"));
  const int32_t n = 7000;
  b.resize(188 + 24 * n, 0);
  for (int32_t k = 0; k < n; ++k) {
    PutI32At(b, 188 + 24 * k, k + 1);
    const std::string id = std::to_string(k % 3000);  // repeats across the boundary
    std::memcpy(b.data() + 192 + 24 * k, id.data(), id.size());
  }
  PutI32At(b, 16, n);
  PutI32At(b, 20, n + 1);
  WriteAll(Path("a.edb"), b);
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbFind(Id("2999")));
  EXPECT_EQ(DbCurrentPosition(), 2999);
  ASSERT_TRUE(DbFind(Id("827")));
  EXPECT_EQ(DbCurrentPosition(), 3827);
  ASSERT_TRUE(DbFind(Id("826")));  // the first record of the second batch
  EXPECT_EQ(DbCurrentPosition(), 6826);
  DbCloseAll();
  const std::vector<std::string> problems = CheckFiles(Path("a.edb"), Path("a.ENX"));
  EXPECT_TRUE(problems.empty()) << problems[0];
}

TEST_F(Operations, FiftyThousandEqualIdsOpenAndIndex) {
  // Each insert of an equal id goes to the end of the run without walking
  // it, so the build stays near n log n (a walk made it grow with n^2).
  const int32_t n = 50000;
  ASSERT_NO_FATAL_FAILURE(WriteEqualIdRecords(Path("a.edb"), n));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a"))) << DbLastError();
  ASSERT_TRUE(DbAppend(Id("dup")));
  ASSERT_TRUE(DbRewind());
  ASSERT_TRUE(DbFind(Id("dup")));
  EXPECT_EQ(DbCurrentPosition(), 0);
  DbCloseAll();
  const std::vector<std::string> problems = CheckFiles(Path("a.edb"), Path("a.ENX"));
  EXPECT_TRUE(problems.empty()) << problems[0];
}

TEST_F(Operations, IndexBuildTakesRecordsLargerThanABatchOneAtATime) {
  std::vector<FieldDescription> fields = {{"k", 3, 0}};
  for (int i = 0; i < 160; ++i) fields.push_back({"f" + std::to_string(i), 10, 1024});
  ASSERT_TRUE(DbCreate(Path("w.edb"), fields));  // record size 163,848 bytes
  ASSERT_TRUE(DbOpen(Path("w.edb")));
  for (int32_t v : {5, 3, 9}) ASSERT_TRUE(DbAppend({rt::Value(v), rt::Value(rt::Text("x"))}));
  ASSERT_TRUE(DbCreateIndex(Path("w"), {"k"})) << DbLastError();
  ASSERT_TRUE(DbFind({rt::Value(int32_t{9})}));
  EXPECT_EQ(DbCurrentPosition(), 2);
}

TEST_F(Operations, KeyFlagsIgnoreCaseAndSpacesOfTexts) {
  MakeAlbum("a.edb", {"Ab C", "x"});
  ASSERT_TRUE(DbOpen(Path("a.edb")));
  ASSERT_TRUE(DbCreateIndex(Path("plain"), {"photo_id"}));
  EXPECT_FALSE(DbFind(Id("abc")));
  ASSERT_TRUE(DbCreateIndex(Path("case"), {"photo_id"}, {0, 1, 1}));
  EXPECT_FALSE(DbFind(Id("abc")));
  EXPECT_TRUE(DbFind(Id("aB c")));
  ASSERT_TRUE(DbCreateIndex(Path("both"), {"photo_id"}, {0, 3, 1}));
  ASSERT_TRUE(DbFind(Id(" A  BC")));
  EXPECT_EQ(DbCurrentPosition(), 0);
  ASSERT_TRUE(DbClose());
  EXPECT_TRUE(CheckFiles(Path("a.edb"), Path("both.ENX")).empty());
}

TEST_F(Operations, OddNamesOpenTheFilesTheyCreated) {
  const rt::Text names[] = {"相册 一"_gbk, "a b.c", rt::Text("bad\xff\x30name")};
  for (const rt::Text& name : names) {
    const rt::Text db = Path("") + name;
    ASSERT_TRUE(CreatePhotoTable(db)) << DbLastError();
    ASSERT_TRUE(OpenPhotoTable(db, WithExtension(db, "ENX"))) << DbLastError();
    ASSERT_TRUE(DbAppend(Id("1")));
    ASSERT_TRUE(DbRewind());
    EXPECT_TRUE(DbFind(Id("1")));
    ASSERT_TRUE(DbClose());
  }
  // "a b.c" has an extension of its own, so nothing was added to it.
  EXPECT_TRUE(std::filesystem::exists(Path("a b.c")));
  EXPECT_TRUE(std::filesystem::exists(Path("a b.ENX")));
  EXPECT_TRUE(std::filesystem::exists(Path(rt::ToUtf8("相册 一"_gbk) + ".EDB")));
}

TEST_F(Operations, IndexNamedAfterTheDatabaseItselfIsRefused) {
  MakeAlbum("a.edb", {"1", "2"});
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithShareMode(4)));  // no locks to stop it
  EXPECT_FALSE(DbCreateIndex(Path("a.edb"), {"photo_id"}));
  EXPECT_EQ(DbLastError(), -41);
  EXPECT_EQ(ReadAll(Path("a.edb")).size(), 188u + 48);
  ASSERT_TRUE(DbCreate(Path("m.edb"), {{"k", 3, 0}, {"memo", 12, 0}}));
  ASSERT_TRUE(DbOpen(Path("m.edb")));
  EXPECT_FALSE(DbCreateIndex(Path("m.EDT"), {"k"}));
  EXPECT_EQ(DbLastError(), -41);
  EXPECT_EQ(ReadAll(Path("m.EDT")).size(), 512u);
}

TEST_F(Operations, LastErrorBelongsToTheCallingThread) {
  EXPECT_FALSE(DbRewind());
  ASSERT_EQ(DbLastError(), -67);
  int32_t seen_by_other = 1;
  std::thread other([&] {
    seen_by_other = DbLastError();
    DbCreate("", {});
  });
  other.join();
  EXPECT_EQ(seen_by_other, 0);
  EXPECT_EQ(DbLastError(), -67);
}

TEST_F(Operations, NumericKeysOrderBySignedValue) {
  ASSERT_TRUE(DbCreate(Path("n.edb"), {{"v", 3, 0}}));
  ASSERT_TRUE(DbOpen(Path("n.edb")));
  ASSERT_TRUE(DbCreateIndex(Path("n"), {"v"}));
  for (int32_t v : {5, -3, 1000000, -2000000000, 0, 5}) {
    ASSERT_TRUE(DbAppend({rt::Value(v)}));
  }
  // The leaf holds the entries by signed value, equal ones by record:
  // -2000000000 (3), -3 (1), 0 (4), 5 (0), 5 (5), 1000000 (2).
  const std::vector<uint8_t> index = ReadAll(Path("n.ENX"));
  ASSERT_EQ(index.size(), 1024u);
  ASSERT_EQ(I32At(index, 512), 6 << 16);  // a leaf of 6 keys
  const int32_t records[] = {3, 1, 4, 0, 5, 2};
  const int32_t values[] = {-2000000000, -3, 0, 5, 5, 1000000};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(I32At(index, 512 + 4 + 8 * i), records[i]) << i;
    EXPECT_EQ(I32At(index, 512 + 8 + 8 * i), values[i]) << i;
  }
  ASSERT_TRUE(DbRewind());
  ASSERT_TRUE(DbFind({rt::Value(int16_t{5})}));
  EXPECT_EQ(DbCurrentPosition(), 0);
  ASSERT_TRUE(DbFind({rt::Value(int64_t{5})}));
  ASSERT_TRUE(DbRewind());
  ASSERT_TRUE(DbFind({rt::Value(-2000000000.0)}));
  EXPECT_EQ(DbCurrentPosition(), 3);
  EXPECT_FALSE(DbFind({rt::Value(true)}));
  EXPECT_EQ(DbLastError(), -72);
}

}  // namespace
}  // namespace recorddb_test
