// B-tree search and insertion over index blocks.
#include "recorddb/btree.h"

#include <cstring>

#include "recorddb/coding.h"

namespace recorddb {
namespace {

// Deeper than any sound tree can be (M >= 6 keeps 2^31 entries within 16
// levels); a longer path means a cycle in a damaged file.
constexpr size_t kMaxDepth = 40;

inline int32_t Kind(const uint8_t* node) { return GetU16(node); }
inline int32_t Count(const uint8_t* node) { return GetU16(node + 2); }
inline void SetHead(uint8_t* node, int32_t kind, int32_t count) {
  PutU16(node, static_cast<uint16_t>(kind));
  PutU16(node + 2, static_cast<uint16_t>(count));
}

}  // namespace

uint8_t* MemoryPager::Fetch(int32_t block) {
  if (block < 0) return nullptr;
  const auto index = static_cast<size_t>(block);
  if (index >= blocks_.size()) blocks_.resize(index + 1);
  if (!blocks_[index]) {
    blocks_[index] = std::make_unique<uint8_t[]>(static_cast<size_t>(block_size_));
  }
  return blocks_[index].get();
}

std::vector<uint8_t> MemoryPager::Serialize(int32_t count) const {
  const auto bs = static_cast<size_t>(block_size_);
  std::vector<uint8_t> out(bs * static_cast<size_t>(count > 1 ? count - 1 : 0), 0);
  for (int32_t b = 1; b < count && static_cast<size_t>(b) < blocks_.size(); ++b) {
    if (blocks_[static_cast<size_t>(b)]) {
      std::memcpy(out.data() + bs * static_cast<size_t>(b - 1),
                  blocks_[static_cast<size_t>(b)].get(), bs);
    }
  }
  return out;
}

uint8_t* FilePager::Fetch(int32_t block) {
  auto it = blocks_.find(block);
  if (it != blocks_.end()) return it->second.bytes.get();
  auto bytes = std::make_unique<uint8_t[]>(static_cast<size_t>(block_size_));
  if (file_->ReadAt(int64_t{block} * block_size_, bytes.get(),
                    static_cast<size_t>(block_size_)) != 0) {
    return nullptr;
  }
  return blocks_.emplace(block, Block{std::move(bytes), false}).first->second.bytes.get();
}

uint8_t* FilePager::Append(int32_t block) {
  Block& b = blocks_[block];
  b.bytes = std::make_unique<uint8_t[]>(static_cast<size_t>(block_size_));
  if (!b.dirty) dirty_.push_back(block);
  b.dirty = true;
  return b.bytes.get();
}

void FilePager::MarkDirty(int32_t block) {
  auto it = blocks_.find(block);
  if (it == blocks_.end() || it->second.dirty) return;
  it->second.dirty = true;
  dirty_.push_back(block);
}

int FilePager::Flush() {
  for (int32_t number : dirty_) {
    Block& block = blocks_[number];
    if (int err = file_->WriteAt(int64_t{number} * block_size_, block.bytes.get(),
                                 static_cast<size_t>(block_size_));
        err != 0) {
      return err;
    }
    block.dirty = false;
  }
  dirty_.clear();
  return 0;
}

BTree::BTree(Pager* pager, const KeyFormat* format, IndexHeader* header)
    : pager_(pager),
      format_(format),
      header_(header),
      key_size_(header->key_size),
      entry_size_(header->key_size + 4),
      max_keys_(MaxKeys(header->block_size, header->key_size)),
      half_(max_keys_ / 2),
      entry_(static_cast<size_t>(entry_size_)) {
  path_.reserve(kMaxDepth);
}

uint8_t* BTree::Load(int32_t block, TreeStatus* status) {
  if (block < 1 || block >= header_->blocks) {
    *status = TreeStatus::kDamaged;
    return nullptr;
  }
  uint8_t* node = pager_->Fetch(block);
  if (node == nullptr) {
    *status = TreeStatus::kReadFailed;
    return nullptr;
  }
  const int32_t kind = Kind(node), count = Count(node);
  if (kind > 1 || count > max_keys_ || (kind == 1 && count == 0) || max_keys_ < 2) {
    *status = TreeStatus::kDamaged;
    return nullptr;
  }
  *status = TreeStatus::kOk;
  return node;
}

// The first entry whose key is not less than `key`. A binary search finds
// the same entry a linear scan does.
int32_t BTree::LowerBound(const uint8_t* node, int32_t count, const uint8_t* key) const {
  int32_t lo = 0, hi = count;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (format_->Compare(node + 8 + mid * entry_size_, key) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The first entry whose key is greater than `key`.
int32_t BTree::UpperBound(const uint8_t* node, int32_t count, const uint8_t* key) const {
  int32_t lo = 0, hi = count;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (format_->Compare(node + 8 + mid * entry_size_, key) <= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

TreeStatus BTree::Descend(const uint8_t* key, Path* path) {
  path->clear();
  int32_t block = header_->root;
  TreeStatus status;
  while (path->size() < kMaxDepth) {
    uint8_t* node = Load(block, &status);
    if (node == nullptr) return status;
    const int32_t count = Count(node);
    if (Kind(node) == 0) {
      path->push_back({block, LowerBound(node, count, key)});
      return TreeStatus::kOk;
    }
    const bool past_last = format_->Compare(key, node + 8 + (count - 1) * entry_size_) > 0;
    const int32_t child = past_last ? count : LowerBound(node, count, key);
    path->push_back({block, child});
    block = GetI32(node + 4 + child * entry_size_);
  }
  return TreeStatus::kDamaged;
}

// Moves the path to the first entry of the next leaf; *moved is false at
// the last leaf.
TreeStatus BTree::NextLeaf(Path* path, bool* moved) {
  *moved = false;
  TreeStatus status;
  for (size_t level = path->size() - 1; level-- > 0;) {
    uint8_t* node = Load((*path)[level].block, &status);
    if (node == nullptr) return status;
    if ((*path)[level].pos >= Count(node)) continue;
    path->resize(level + 1);
    int32_t child = ++(*path)[level].pos;
    int32_t block = GetI32(node + 4 + child * entry_size_);
    while (path->size() < kMaxDepth) {
      uint8_t* next = Load(block, &status);
      if (next == nullptr) return status;
      path->push_back({block, 0});
      if (Kind(next) == 0) {
        *moved = true;
        return TreeStatus::kOk;
      }
      block = GetI32(next + 4);
    }
    return TreeStatus::kDamaged;
  }
  return TreeStatus::kOk;
}

// Moves the path to the end of the previous leaf; *moved is false at the
// first leaf.
TreeStatus BTree::PreviousLeaf(Path* path, bool* moved) {
  *moved = false;
  TreeStatus status;
  for (size_t level = path->size() - 1; level-- > 0;) {
    if ((*path)[level].pos == 0) continue;
    uint8_t* node = Load((*path)[level].block, &status);
    if (node == nullptr) return status;
    path->resize(level + 1);
    int32_t child = --(*path)[level].pos;
    int32_t block = GetI32(node + 4 + child * entry_size_);
    while (path->size() < kMaxDepth) {
      uint8_t* prev = Load(block, &status);
      if (prev == nullptr) return status;
      const int32_t count = Count(prev);
      path->push_back({block, count});
      if (Kind(prev) == 0) {
        *moved = true;
        return TreeStatus::kOk;
      }
      block = GetI32(prev + 4 + count * entry_size_);
    }
    return TreeStatus::kDamaged;
  }
  return TreeStatus::kOk;
}

TreeStatus BTree::FindFrom(const uint8_t* key, int32_t min_record, int32_t* record,
                           const EntryFilter& accept) {
  *record = -1;
  Path& path = path_;
  TreeStatus status = Descend(key, &path);
  // Each step visits one entry; a sound tree has fewer than blocks * M.
  int64_t budget = int64_t{header_->blocks} * (max_keys_ + 1) + 1;
  while (status == TreeStatus::kOk && budget-- > 0) {
    uint8_t* leaf = Load(path.back().block, &status);
    if (leaf == nullptr) return status;
    int32_t& pos = path.back().pos;
    if (pos >= Count(leaf)) {
      bool moved;
      status = NextLeaf(&path, &moved);
      if (status != TreeStatus::kOk || !moved) return status;
      continue;
    }
    const uint8_t* entry = leaf + 4 + pos * entry_size_;
    if (format_->Compare(entry + 4, key) != 0) return TreeStatus::kOk;
    if (GetI32(entry) >= min_record && (!accept || accept(GetI32(entry)))) {
      *record = GetI32(entry);
      return TreeStatus::kOk;
    }
    ++pos;
  }
  return status == TreeStatus::kOk ? TreeStatus::kDamaged : status;
}

// From an entry equal to `key`, moves the path to where (key, record) goes:
// before the first equal entry with a greater record number, else right
// after the last equal entry, in the leaf that holds it. *present is set
// when an equal entry carries `record` already.
TreeStatus BTree::WalkEqualRun(const uint8_t* key, int32_t record, Path* path,
                               bool* present) {
  *present = false;
  TreeStatus status = TreeStatus::kOk;
  int64_t budget = int64_t{header_->blocks} * (max_keys_ + 1) + 1;
  while (budget-- > 0) {
    uint8_t* leaf = Load(path->back().block, &status);
    if (leaf == nullptr) return status;
    const int32_t count = Count(leaf);
    int32_t& pos = path->back().pos;
    const uint8_t* entry = leaf + 4 + pos * entry_size_;
    const int32_t here = GetI32(entry);
    if (here == record) {
      *present = true;
      return TreeStatus::kOk;
    }
    if (here > record) return TreeStatus::kOk;
    if (pos + 1 < count) {
      ++pos;
      if (format_->Compare(entry + entry_size_ + 4, key) != 0) return TreeStatus::kOk;
      continue;
    }
    Path next = *path;
    bool moved;
    status = NextLeaf(&next, &moved);
    if (status != TreeStatus::kOk) return status;
    if (moved) {
      uint8_t* first = Load(next.back().block, &status);
      if (first == nullptr) return status;
      if (Count(first) > 0 && format_->Compare(first + 8, key) == 0) {
        *path = std::move(next);
        continue;
      }
    }
    pos = count;  // the end of the leaf holding the last equal entry
    return TreeStatus::kOk;
  }
  return TreeStatus::kDamaged;
}

// Moves the path to just after the last entry equal to `key`, in the leaf
// that holds it, when that entry's record number is below `record`. In a
// sound tree equal keys lie in record order, so that is where the walk of
// the whole run ends too. *found is false (the path then undefined) when
// the entry before that place is not an equal one with a smaller number:
// the record belongs inside the run, or the tree is not sound.
TreeStatus BTree::AfterEqualRun(const uint8_t* key, int32_t record, Path* path, bool* found) {
  *found = false;
  path->clear();
  int32_t block = header_->root;
  TreeStatus status;
  uint8_t* node = nullptr;
  while (path->size() < kMaxDepth) {  // to the first entry greater than `key`
    node = Load(block, &status);
    if (node == nullptr) return status;
    const int32_t at = UpperBound(node, Count(node), key);
    path->push_back({block, at});
    if (Kind(node) == 0) break;
    block = GetI32(node + 4 + at * entry_size_);
  }
  if (node == nullptr || Kind(node) != 0) return TreeStatus::kDamaged;
  if (path->back().pos == 0) {  // the run, if any, ends in the previous leaf
    bool moved;
    if (status = PreviousLeaf(path, &moved); status != TreeStatus::kOk || !moved) return status;
    if ((node = Load(path->back().block, &status)) == nullptr) return status;
    if (path->back().pos == 0) return TreeStatus::kOk;
  }
  const uint8_t* last = node + 4 + (path->back().pos - 1) * entry_size_;
  *found = format_->Compare(last + 4, key) == 0 && GetI32(last) < record;
  return TreeStatus::kOk;
}

TreeStatus BTree::Insert(const uint8_t* key, int32_t record) {
  Path& path = path_;
  TreeStatus status = Descend(key, &path);
  if (status != TreeStatus::kOk) return status;
  uint8_t* leaf = Load(path.back().block, &status);
  if (leaf == nullptr) return status;
  const int32_t pos = path.back().pos;
  if (pos < Count(leaf) && format_->Compare(leaf + 8 + pos * entry_size_, key) == 0) {
    bool after_run = false;
    if (run_shortcut_) {
      status = AfterEqualRun(key, record, &path, &after_run);
      if (status != TreeStatus::kOk) return status;
      if (!after_run && (status = Descend(key, &path)) != TreeStatus::kOk) return status;
    }
    if (!after_run) {
      bool present;
      status = WalkEqualRun(key, record, &path, &present);
      if (status != TreeStatus::kOk || present) return status;
    }
  }
  uint8_t* entry = entry_.data();
  PutI32(entry, record);
  std::memcpy(entry + 4, key, static_cast<size_t>(key_size_));
  return InsertAt(path, entry);
}

TreeStatus BTree::Allocate(int32_t* block, uint8_t** bytes) {
  if (header_->free_count > 0) {
    const int32_t b = header_->first_free;
    if (b < 1 || b >= header_->blocks) return TreeStatus::kDamaged;
    uint8_t* p = pager_->Fetch(b);
    if (p == nullptr) return TreeStatus::kReadFailed;
    const int32_t next = GetI32(p);
    if (next < 0 || next >= header_->blocks) return TreeStatus::kDamaged;
    header_->first_free = next;
    header_->free_count -= 1;
    std::memset(p, 0, static_cast<size_t>(header_->block_size));
    pager_->MarkDirty(b);
    *block = b;
    *bytes = p;
    return TreeStatus::kOk;
  }
  if (header_->blocks == INT32_MAX) return TreeStatus::kDamaged;
  *block = header_->blocks++;
  *bytes = pager_->Append(*block);
  return *bytes ? TreeStatus::kOk : TreeStatus::kReadFailed;
}

// Splits a full leaf around the new entry at `pos`: the first H entries
// stay, the rest move to a new block; `sep` gets the last key that stayed.
TreeStatus BTree::SplitLeaf(uint8_t* node, int32_t pos, const uint8_t* entry, uint8_t* sep,
                            int32_t* right) {
  const size_t es = static_cast<size_t>(entry_size_);
  const int32_t m = max_keys_, h = half_;
  std::vector<uint8_t> all(es * static_cast<size_t>(m + 1));
  std::memcpy(all.data(), node + 4, es * pos);
  std::memcpy(all.data() + es * pos, entry, es);
  std::memcpy(all.data() + es * (pos + 1), node + 4 + es * pos, es * (m - pos));
  uint8_t* fresh;
  if (TreeStatus s = Allocate(right, &fresh); s != TreeStatus::kOk) return s;
  const size_t bs = static_cast<size_t>(header_->block_size);
  std::memset(node + 4, 0, bs - 4);
  SetHead(node, 0, h);
  std::memcpy(node + 4, all.data(), es * h);
  SetHead(fresh, 0, m + 1 - h);
  std::memcpy(fresh + 4, all.data() + es * h, es * (m + 1 - h));
  std::memcpy(sep, all.data() + es * (h - 1) + 4, static_cast<size_t>(key_size_));
  return TreeStatus::kOk;
}

// Splits a full inner node taking `sep` and its right child at key `pos`:
// keys 0..H-1 stay, key H goes up (left in `sep`), keys H+1..M move out.
TreeStatus BTree::SplitInner(uint8_t* node, int32_t pos, uint8_t* sep, int32_t* right) {
  const size_t es = static_cast<size_t>(entry_size_);
  const size_t ks = static_cast<size_t>(key_size_);
  const int32_t m = max_keys_, h = half_;
  // c0 k0 c1 k1 ... kM c(M+1): the node's bytes with [sep][right] spliced
  // in right after child `pos`.
  std::vector<uint8_t> seq(4 + es * static_cast<size_t>(m + 1));
  const size_t cut = es * static_cast<size_t>(pos) + 4;
  std::memcpy(seq.data(), node + 4, cut);
  std::memcpy(seq.data() + cut, sep, ks);
  PutI32(seq.data() + cut + ks, *right);
  std::memcpy(seq.data() + cut + es, node + 4 + cut, es * static_cast<size_t>(m) + 4 - cut);
  uint8_t* fresh;
  int32_t fresh_block;
  if (TreeStatus s = Allocate(&fresh_block, &fresh); s != TreeStatus::kOk) return s;
  const size_t bs = static_cast<size_t>(header_->block_size);
  std::memset(node + 4, 0, bs - 4);
  SetHead(node, 1, h);
  std::memcpy(node + 4, seq.data(), es * h + 4);
  std::memcpy(sep, seq.data() + es * h + 4, ks);
  SetHead(fresh, 1, m - h);
  std::memcpy(fresh + 4, seq.data() + es * (h + 1), es * (m - h) + 4);
  *right = fresh_block;
  return TreeStatus::kOk;
}

TreeStatus BTree::InsertAt(const Path& path, const uint8_t* entry) {
  const size_t es = static_cast<size_t>(entry_size_);
  TreeStatus status;
  size_t level = path.size() - 1;
  uint8_t* node = Load(path[level].block, &status);
  if (node == nullptr) return status;
  int32_t count = Count(node), pos = path[level].pos;
  pager_->MarkDirty(path[level].block);
  if (count < max_keys_) {
    std::memmove(node + 4 + es * (pos + 1), node + 4 + es * pos, es * (count - pos));
    std::memcpy(node + 4 + es * pos, entry, es);
    SetHead(node, 0, count + 1);
    return TreeStatus::kOk;
  }
  std::vector<uint8_t> sep(static_cast<size_t>(key_size_));
  int32_t right;
  if (status = SplitLeaf(node, pos, entry, sep.data(), &right); status != TreeStatus::kOk) {
    return status;
  }
  while (level-- > 0) {
    node = Load(path[level].block, &status);
    if (node == nullptr) return status;
    count = Count(node);
    pos = path[level].pos;
    pager_->MarkDirty(path[level].block);
    if (count < max_keys_) {
      // Splice [sep][right] in right after child `pos`.
      uint8_t* at = node + 4 + es * pos + 4;
      std::memmove(at + es, at, es * (count - pos));
      std::memcpy(at, sep.data(), static_cast<size_t>(key_size_));
      PutI32(at + key_size_, right);
      SetHead(node, 1, count + 1);
      return TreeStatus::kOk;
    }
    if (status = SplitInner(node, pos, sep.data(), &right); status != TreeStatus::kOk) {
      return status;
    }
  }
  int32_t root;
  uint8_t* fresh;
  if (status = Allocate(&root, &fresh); status != TreeStatus::kOk) return status;
  SetHead(fresh, 1, 1);
  PutI32(fresh + 4, path[0].block);
  std::memcpy(fresh + 8, sep.data(), static_cast<size_t>(key_size_));
  PutI32(fresh + 8 + key_size_, right);
  header_->root = root;
  return TreeStatus::kOk;
}

}  // namespace recorddb
