// The B-tree's exact shape (splits at H, separators, new roots, free
// blocks, equal keys) and its consistency after many random inserts, checked
// with the tree checker.
#include "recorddb/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "recorddb/btree_check.h"
#include "recorddb/coding.h"
#include "recorddb/main_file.h"
#include "test_util.h"

namespace recorddb_test {
namespace {

using namespace recorddb;

// Memory blocks that count how often they are asked for: the work of a
// tree operation, independent of the machine's speed.
class CountingPager : public MemoryPager {
 public:
  using MemoryPager::MemoryPager;
  uint8_t* Fetch(int32_t block) override {
    ++fetches;
    return MemoryPager::Fetch(block);
  }
  int64_t fetches = 0;
};

// A 20-byte text key, as in the repeat-download record.
struct TextTree {
  explicit TextTree(int32_t block_size = 512) : pager(block_size) {
    header.block_size = block_size;
    header.key_size = 20;
    header.field_count = 1;
    format = KeyFormat({{kTypeText, 0, 20, 4}});
  }
  static std::vector<uint8_t> Key(const std::string& text) {
    std::vector<uint8_t> key(20, 0);
    std::memcpy(key.data(), text.data(), std::min<size_t>(text.size(), 20));
    return key;
  }
  void Insert(const std::string& text, int32_t record) {
    BTree tree(&pager, &format, &header);
    ASSERT_EQ(tree.Insert(Key(text).data(), record), TreeStatus::kOk);
  }
  int32_t Find(const std::string& text, int32_t from = 0) {
    BTree tree(&pager, &format, &header);
    int32_t record;
    EXPECT_EQ(tree.FindFrom(Key(text).data(), from, &record), TreeStatus::kOk);
    return record;
  }
  const uint8_t* Block(int32_t b) { return pager.Fetch(b); }
  int32_t Count(int32_t b) { return GetU16(Block(b) + 2); }
  int32_t Kind(int32_t b) { return GetU16(Block(b)); }
  int32_t EntryValue(int32_t b, int32_t i) { return GetI32(Block(b) + 4 + 24 * i); }
  std::string EntryKey(int32_t b, int32_t i) {
    const char* k = reinterpret_cast<const char*>(Block(b) + 8 + 24 * i);
    return std::string(k, strnlen(k, 20));
  }

  CountingPager pager;
  IndexHeader header;
  KeyFormat format;
};

std::string Numbered(int i) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "k%02d", i);
  return buf;
}

TEST(BTreeShape, FullLeafSplitsAtHAndTheLastKeptKeyGoesUp) {
  TextTree t;
  for (int i = 0; i < 21; ++i) t.Insert(Numbered(i), i);
  EXPECT_EQ(t.header.blocks, 2);
  EXPECT_EQ(t.Count(1), 21);  // M = (512 - 8) / 24
  t.Insert(Numbered(21), 21);
  EXPECT_EQ(t.header.blocks, 4);
  EXPECT_EQ(t.header.root, 3);
  EXPECT_EQ(t.Count(1), 10);  // H = 10 stay
  EXPECT_EQ(t.Count(2), 12);  // M + 1 - H move
  EXPECT_EQ(t.EntryKey(2, 0), "k10");
  for (size_t i = 4 + 24 * 10; i < 512; ++i) ASSERT_EQ(t.Block(1)[i], 0) << i;
  EXPECT_EQ(t.Kind(3), 1);
  EXPECT_EQ(t.Count(3), 1);
  EXPECT_EQ(t.EntryValue(3, 0), 1);
  EXPECT_EQ(t.EntryKey(3, 0), "k09");
  EXPECT_EQ(GetI32(t.Block(3) + 4 + 24), 2);  // the last child
}

TEST(BTreeShape, FullInnerNodeSendsKeyHUpAndKeepsHKeys) {
  TextTree t;
  // Ascending inserts fill the right-most leaf; every split adds one key to
  // the root until it holds M keys, and the next split splits the root.
  int i = 0;
  while (t.header.root == 3 || t.header.blocks < 4) {
    char key[12];
    std::snprintf(key, sizeof key, "k%06d", i);
    t.Insert(key, i);
    ++i;
    ASSERT_LT(i, 10000);
  }
  // Ascending inserts leave the root until it splits; find the moment after.
  const int32_t root = t.header.root;
  ASSERT_NE(root, 3);
  EXPECT_EQ(t.Kind(root), 1);
  EXPECT_EQ(t.Count(root), 1);
  const int32_t left = t.EntryValue(root, 0);
  const int32_t right = GetI32(t.Block(root) + 4 + 24);
  EXPECT_EQ(left, 3);
  EXPECT_EQ(t.Kind(left), 1);
  EXPECT_EQ(t.Count(left), 10);   // keys 0 .. H-1
  EXPECT_EQ(t.Count(right), 11);  // keys H+1 .. M
  // The separator sent up is the left node's old key H: above every key left.
  EXPECT_GT(t.EntryKey(root, 0), t.EntryKey(left, 9));
  EXPECT_LT(t.EntryKey(root, 0), t.EntryKey(right, 0));
  TreeReport report = CheckTree(&t.pager, t.format, t.header, nullptr, 0);
  EXPECT_TRUE(report.problems.empty()) << report.problems[0];
  EXPECT_EQ(report.depth, 3);
}

TEST(BTreeShape, EqualKeyAfterTheLastOfALeafStaysInThatLeaf) {
  TextTree t;
  for (int r = 0; r < 10; ++r) t.Insert("a", r);
  for (int r = 10; r < 21; ++r) t.Insert("c", r);
  t.Insert("d", 21);  // split: a0..a9 | c10..c20 d21, separator "a"
  ASSERT_EQ(t.EntryKey(t.header.root, 0), "a");
  t.Insert("a", 50);
  EXPECT_EQ(t.Count(1), 11);
  EXPECT_EQ(t.EntryValue(1, 10), 50);
  EXPECT_EQ(t.Count(2), 12);
  EXPECT_EQ(t.Find("a", 11), 50);
}

TEST(BTreeShape, EqualKeysWalkAcrossLeavesInRecordOrder) {
  TextTree t;
  for (int r = 0; r < 21; ++r) t.Insert("b", r * 2);
  t.Insert("c", 100);  // b0..b18 | b20..b40 c100
  t.Insert("b", 25);   // goes between b24 and b26 in the right leaf
  EXPECT_EQ(t.Count(1), 10);
  EXPECT_EQ(t.EntryValue(2, 3), 25);
  t.Insert("b", 25);  // present already: nothing changes
  EXPECT_EQ(t.Count(2), 13);
  EXPECT_EQ(t.Find("b", 19), 20);
  EXPECT_EQ(t.Find("b", 41), -1);
  EXPECT_EQ(t.Find("c"), 100);
}

TEST(BTreeShape, NewBlocksComeFromTheFreeChainFirst) {
  TextTree t;
  t.header.blocks = 4;
  t.header.free_count = 1;
  t.header.first_free = 3;
  PutI32(t.pager.Fetch(3), 0);
  t.pager.Fetch(3)[100] = 0x55;  // stale bytes of a freed node
  t.pager.Fetch(2);
  t.header.free_count = 2;
  t.header.first_free = 2;
  PutI32(t.pager.Fetch(2), 3);  // chain 2 -> 3
  for (int i = 0; i < 22; ++i) t.Insert(Numbered(i), i);
  EXPECT_EQ(t.header.free_count, 0);
  EXPECT_EQ(t.header.blocks, 4);
  EXPECT_EQ(t.header.root, 3);  // second from the chain
  EXPECT_EQ(t.Count(2), 12);    // first from the chain: the new leaf
  EXPECT_EQ(t.Block(3)[100], 0);
  t.Insert("zz", 99);  // chain empty: blocks are appended again
  for (int i = 23; i < 40; ++i) t.Insert(Numbered(i) + "z", i);
  EXPECT_EQ(t.header.blocks, 5);
}

TEST(BTreeChecker, RandomInsertsWithManyEqualKeysStayConsistent) {
  for (int32_t block_size : {512, 1024}) {
    TextTree t(block_size);
    std::mt19937 rng(1234 + block_size);
    const int32_t n = 4000;
    std::vector<int32_t> order(n);
    for (int32_t i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<uint8_t> keys(static_cast<size_t>(n) * 20, 0);
    for (int32_t r = 0; r < n; ++r) {
      const std::string text = "id" + std::to_string(rng() % 150);  // many repeats
      std::memcpy(keys.data() + 20 * r, text.data(), text.size());
    }
    for (int32_t r : order) {
      BTree tree(&t.pager, &t.format, &t.header);
      ASSERT_EQ(tree.Insert(keys.data() + 20 * r, r), TreeStatus::kOk);
    }
    TreeReport report = CheckTree(&t.pager, t.format, t.header, keys.data(), n);
    ASSERT_TRUE(report.problems.empty()) << report.problems[0];
    EXPECT_EQ(report.entries, n);
    // Every record is found from its own number on, and not after it.
    BTree tree(&t.pager, &t.format, &t.header);
    for (int32_t r = 0; r < n; r += 7) {
      int32_t found;
      ASSERT_EQ(tree.FindFrom(keys.data() + 20 * r, r, &found), TreeStatus::kOk);
      ASSERT_EQ(found, r);
    }
  }
}

// Inserts the same (key, record) list into two trees, one going straight
// to the end of each equal run, one walking every run; the blocks and the
// header must come out identical. A record numbered above every earlier one
// of its key goes to the end of the run without walking it: such an insert
// asks for no more blocks than a few descents of the tree take, however long
// the run, while the walk takes far more on the long runs here.
void ExpectShortcutMatchesWalk(int32_t block_size, const std::vector<std::string>& keys,
                               const std::vector<int32_t>& records, int min_depth) {
  TextTree fast(block_size), walk(block_size);
  std::map<std::string, int32_t> highest;  // the greatest record of each key so far
  int64_t fast_worst = 0, walk_worst = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::vector<uint8_t> key = TextTree::Key(keys[i]);
    BTree a(&fast.pager, &fast.format, &fast.header);
    BTree b(&walk.pager, &walk.format, &walk.header);
    b.set_run_shortcut(false);
    const int64_t fast_before = fast.pager.fetches, walk_before = walk.pager.fetches;
    ASSERT_EQ(a.Insert(key.data(), records[i]), TreeStatus::kOk);
    ASSERT_EQ(b.Insert(key.data(), records[i]), TreeStatus::kOk);
    auto [it, first] = highest.emplace(keys[i], records[i]);
    if (first || records[i] > it->second) {
      it->second = records[i];
      fast_worst = std::max(fast_worst, fast.pager.fetches - fast_before);
      walk_worst = std::max(walk_worst, walk.pager.fetches - walk_before);
    }
  }
  ASSERT_EQ(fast.header.blocks, walk.header.blocks);
  EXPECT_EQ(fast.header.root, walk.header.root);
  EXPECT_TRUE(fast.pager.Serialize(fast.header.blocks) == walk.pager.Serialize(walk.header.blocks))
      << "block size " << block_size;
  TreeReport report = CheckTree(&fast.pager, fast.format, fast.header, nullptr, 0);
  ASSERT_TRUE(report.problems.empty()) << report.problems[0];
  EXPECT_GE(report.depth, min_depth);
  // Down the tree for the run's end, back one leaf, and up again for the
  // splits, a new block each: some six descents' worth, and a margin.
  const int64_t budget = 8 * report.depth;
  EXPECT_LE(fast_worst, budget) << "an insert after its run walked the run";
  EXPECT_GT(walk_worst, budget) << "the runs are too short to tell the two apart";
}

TEST(BTreeShape, EqualRunShortcutGivesTheBytesOfTheWalk) {
  std::mt19937 rng(4321);
  for (int32_t block_size : {512, 1024}) {
    const int depth = 3;  // runs cross inner nodes
    // In record order, as appends and rebuilds insert: one key takes most
    // records, so its run spans many leaves and inner nodes; a few others
    // make runs that start and end inside leaves and at their edges.
    std::vector<std::string> keys;
    std::vector<int32_t> records;
    for (int32_t r = 0; r < 3000; ++r) {
      const uint32_t roll = rng() % 100;
      keys.push_back(roll < 55   ? "dup"
                     : roll < 70 ? "a"
                     : roll < 80 ? "zz"
                                 : "k" + std::to_string(rng() % 40));
      records.push_back(r);
    }
    ExpectShortcutMatchesWalk(block_size, keys, records, depth);
    // Long blocks of one key after another, then the first keys again.
    keys.clear();
    records.clear();
    for (int32_t r = 0; r < 3000; ++r) {
      keys.push_back(r < 1200 ? "m" : r < 2000 ? "c" : r < 2500 ? "m" : r % 2 ? "c" : "x");
      records.push_back(r);
    }
    ExpectShortcutMatchesWalk(block_size, keys, records, depth);
    // Mostly rising numbers with some lower ones and repeats mixed in: the
    // walk still places those, between runs the shortcut built.
    keys.clear();
    records.clear();
    for (int32_t r = 0; r < 3000; ++r) {
      keys.push_back(rng() % 3 ? "dup" : "k" + std::to_string(rng() % 5));
      const uint32_t roll = rng() % 10;
      records.push_back(roll == 0 ? static_cast<int32_t>(rng() % (r + 1)) : roll == 1 ? r / 2 : r);
    }
    ExpectShortcutMatchesWalk(block_size, keys, records, depth);
  }
}

TEST(BTreeChecker, ReportsBrokenOrderAndMissingRecords) {
  TextTree t;
  std::vector<uint8_t> keys(60 * 20, 0);
  for (int r = 0; r < 60; ++r) {
    keys[20 * r] = static_cast<uint8_t>('A' + r % 26);
    BTree tree(&t.pager, &t.format, &t.header);
    ASSERT_EQ(tree.Insert(keys.data() + 20 * r, r), TreeStatus::kOk);
  }
  ASSERT_TRUE(CheckTree(&t.pager, t.format, t.header, keys.data(), 60).problems.empty());
  EXPECT_FALSE(CheckTree(&t.pager, t.format, t.header, keys.data(), 61).problems.empty());
  uint8_t* leaf = t.pager.Fetch(1);
  std::swap(leaf[8], leaf[8 + 24 * 3]);  // an A and a B of the first leaf swapped
  EXPECT_FALSE(CheckTree(&t.pager, t.format, t.header, keys.data(), 60).problems.empty());
  std::swap(leaf[8], leaf[8 + 24 * 3]);
  PutU16(leaf + 2, 22);  // more than M keys
  EXPECT_FALSE(CheckTree(&t.pager, t.format, t.header, nullptr, 0).problems.empty());
}

class IndexBytes : public TempFolderTest {};

// An index built at once from the records has the bytes of one built by
// inserting the same records one append at a time.
TEST_F(IndexBytes, BuildAtOnceEqualsInsertingOneByOne) {
  std::mt19937 rng(77);
  std::vector<std::string> ids;
  for (int i = 0; i < 2500; ++i) ids.push_back(std::to_string(rng() % 900 * 1000003 % 99991));
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("one")));
  for (const std::string& id : ids) ASSERT_TRUE(DbAppend(Id(id)));
  ASSERT_TRUE(DbCreateIndex(Path("all"), {"photo_id"}));
  ASSERT_TRUE(DbClose());
  std::vector<uint8_t> one = ReadAll(Path("one.ENX"));
  std::vector<uint8_t> all = ReadAll(Path("all.ENX"));
  ASSERT_GT(one.size(), 50u * 512);
  ASSERT_EQ(one.size(), all.size());
  std::fill(one.begin() + 8, one.begin() + 16, 0);  // creation times differ
  std::fill(all.begin() + 8, all.begin() + 16, 0);
  EXPECT_TRUE(one == all);
}

}  // namespace
}  // namespace recorddb_test
