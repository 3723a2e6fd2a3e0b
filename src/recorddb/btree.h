// The B-tree of an index file: lower-bound search, the walk over equal keys
// in record-number order (skipped when a record goes after all of them),
// and insertion with the node splits that fix the index file's bytes (leaf
// and inner splits at H = M / 2, the separator a leaf sends up being the
// last key that stayed, a new root on a root split, new blocks from the
// free chain first).
//
// Nodes come from a Pager, so the same code runs over an index file (blocks
// read as needed, written back by the caller) and over memory when a whole
// index is built at once; both give the same bytes for the same inserts.
//
// Thread safety: a BTree and its Pager are used by one thread at a time.
#ifndef TIEPIC_RECORDDB_BTREE_H_
#define TIEPIC_RECORDDB_BTREE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "recorddb/file.h"
#include "recorddb/index_file.h"
#include "recorddb/key.h"

namespace recorddb {

class Pager {
 public:
  virtual ~Pager() = default;
  // The bytes of `block` (one block long), or nullptr when it cannot be
  // read. The pointer stays valid while the pager keeps the block.
  virtual uint8_t* Fetch(int32_t block) = 0;
  // A new all-zero block at the end of the file.
  virtual uint8_t* Append(int32_t block) = 0;
  virtual void MarkDirty(int32_t block) = 0;
};

// Blocks held in memory only; a block never appended reads as zero.
class MemoryPager : public Pager {
 public:
  explicit MemoryPager(int32_t block_size) : block_size_(block_size) {}
  uint8_t* Fetch(int32_t block) override;
  uint8_t* Append(int32_t block) override { return Fetch(block); }
  void MarkDirty(int32_t) override {}
  // Blocks 1 .. count-1 one after another (block 0, the header, is not kept).
  std::vector<uint8_t> Serialize(int32_t count) const;

 private:
  int32_t block_size_;
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
};

// Blocks of an index file, read on first use and kept until Discard; the
// owner checks before each operation whether another program may have
// changed the file and discards the copies then.
class FilePager : public Pager {
 public:
  FilePager(const File* file, int32_t block_size)
      : file_(file), block_size_(block_size) {}
  uint8_t* Fetch(int32_t block) override;
  uint8_t* Append(int32_t block) override;
  void MarkDirty(int32_t block) override;
  // Writes the changed blocks. Returns 0 or errno.
  int Flush();
  void Discard() {
    blocks_.clear();
    dirty_.clear();
  }
  size_t cached() const { return blocks_.size(); }

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    bool dirty = false;
  };
  const File* file_;
  int32_t block_size_;
  std::unordered_map<int32_t, Block> blocks_;
  std::vector<int32_t> dirty_;  // blocks to write, each once
};

enum class TreeStatus { kOk, kDamaged, kReadFailed };

class BTree {
 public:
  // `header` supplies the shape and receives the changed block count, free
  // chain and root. REQUIRES: header->key_size == format.size().
  BTree(Pager* pager, const KeyFormat* format, IndexHeader* header);

  // Asked about each entry FindFrom would give: true takes it, false passes
  // over it to the next entry with the same key.
  using EntryFilter = std::function<bool(int32_t record)>;

  // The first record number >= `min_record` whose key equals `key` (and
  // that `accept`, when given, takes), or -1.
  TreeStatus FindFrom(const uint8_t* key, int32_t min_record, int32_t* record,
                      const EntryFilter& accept = {});

  // Inserts (key, record) unless that pair is present already.
  TreeStatus Insert(const uint8_t* key, int32_t record);

  // On (the default), a record numbered above every entry of its key goes
  // straight to the end of that key's run; off, every insert walks the run
  // entry by entry. Both give the same bytes; off is there so tests can
  // compare the two.
  void set_run_shortcut(bool on) { run_shortcut_ = on; }

 private:
  struct Step {
    int32_t block;
    int32_t pos;  // entry in a leaf, child in an inner node
  };
  using Path = std::vector<Step>;

  uint8_t* Load(int32_t block, TreeStatus* status);
  TreeStatus Descend(const uint8_t* key, Path* path);
  TreeStatus NextLeaf(Path* path, bool* moved);
  TreeStatus PreviousLeaf(Path* path, bool* moved);
  TreeStatus AfterEqualRun(const uint8_t* key, int32_t record, Path* path, bool* found);
  TreeStatus WalkEqualRun(const uint8_t* key, int32_t record, Path* path, bool* present);
  TreeStatus InsertAt(const Path& path, const uint8_t* entry);
  TreeStatus SplitLeaf(uint8_t* node, int32_t pos, const uint8_t* entry, uint8_t* sep,
                       int32_t* right);
  TreeStatus SplitInner(uint8_t* node, int32_t pos, uint8_t* sep, int32_t* right);
  TreeStatus Allocate(int32_t* block, uint8_t** bytes);
  int32_t LowerBound(const uint8_t* node, int32_t count, const uint8_t* key) const;
  int32_t UpperBound(const uint8_t* node, int32_t count, const uint8_t* key) const;

  Pager* pager_;
  const KeyFormat* format_;
  IndexHeader* header_;
  int32_t key_size_;
  int32_t entry_size_;
  int32_t max_keys_;
  int32_t half_;
  bool run_shortcut_ = true;
  Path path_;                   // scratch, kept between calls
  std::vector<uint8_t> entry_;  // scratch: one entry
};

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_BTREE_H_
