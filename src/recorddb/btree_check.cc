// The index tree checker.
#include "recorddb/btree_check.h"

#include <cstring>
#include <optional>

#include "recorddb/coding.h"

namespace recorddb {
namespace {

constexpr int kMaxDepth = 40;
constexpr size_t kMaxProblems = 50;

class Checker {
 public:
  Checker(Pager* pager, const KeyFormat& format, const IndexHeader& header,
          const uint8_t* record_keys, int32_t record_count)
      : pager_(pager),
        format_(format),
        header_(header),
        keys_(record_keys),
        count_(record_count),
        es_(header.key_size + 4),
        max_keys_(MaxKeys(header.block_size, header.key_size)),
        owner_(static_cast<size_t>(header.blocks), 0),
        seen_(static_cast<size_t>(record_count > 0 ? record_count : 0), 0) {}

  TreeReport Run() {
    Visit(header_.root, 1, nullptr, nullptr);
    CheckFreeChain();
    CheckCoverage();
    return std::move(report_);
  }

 private:
  void Problem(std::string text) {
    if (report_.problems.size() < kMaxProblems) report_.problems.push_back(std::move(text));
  }

  // Visits the subtree at `block`, whose keys must lie within [lo, hi].
  void Visit(int32_t block, int depth, const uint8_t* lo, const uint8_t* hi) {
    const std::string where = "block " + std::to_string(block);
    if (block < 1 || block >= header_.blocks) return Problem(where + ": outside the file");
    if (owner_[static_cast<size_t>(block)]++ != 0) return Problem(where + ": reached twice");
    if (depth > kMaxDepth) return Problem(where + ": tree too deep");
    const uint8_t* node = pager_->Fetch(block);
    if (node == nullptr) return Problem(where + ": cannot be read");
    std::vector<uint8_t> copy(node, node + header_.block_size);  // pager may evict
    node = copy.data();
    const int32_t kind = GetU16(node), count = GetU16(node + 2);
    ++report_.nodes;
    if (kind > 1) return Problem(where + ": unknown node kind " + std::to_string(kind));
    if (count > max_keys_) return Problem(where + ": " + std::to_string(count) + " keys, more than M");
    const size_t used = 4 + static_cast<size_t>(es_) * count + (kind == 1 ? 4 : 0);
    for (size_t i = used; i < copy.size(); ++i) {
      if (copy[i] != 0) {
        Problem(where + ": bytes after the entries are not zero");
        break;
      }
    }
    for (int32_t i = 0; i < count; ++i) {
      const uint8_t* key = node + 4 + i * es_ + 4;
      if ((lo && format_.Compare(key, lo) < 0) || (hi && format_.Compare(key, hi) > 0)) {
        Problem(where + ": key " + std::to_string(i) + " outside its separators");
      }
      if (i > 0 && format_.Compare(node + 4 + (i - 1) * es_ + 4, key) > 0) {
        Problem(where + ": keys out of order at " + std::to_string(i));
      }
    }
    if (kind == 0) return Leaf(node, count, depth, where);
    if (count == 0) return Problem(where + ": inner node without keys");
    for (int32_t i = 0; i <= count; ++i) {
      const uint8_t* child_lo = i == 0 ? lo : node + 4 + (i - 1) * es_ + 4;
      const uint8_t* child_hi = i == count ? hi : node + 4 + i * es_ + 4;
      Visit(GetI32(node + 4 + i * es_), depth + 1, child_lo, child_hi);
    }
  }

  void Leaf(const uint8_t* node, int32_t count, int depth, const std::string& where) {
    if (leaf_depth_ == 0) leaf_depth_ = depth;
    if (depth != leaf_depth_) Problem(where + ": leaf at another depth");
    report_.depth = leaf_depth_;
    if (count == 0 && depth > 1) Problem(where + ": empty leaf below the root");
    for (int32_t i = 0; i < count; ++i) {
      const uint8_t* entry = node + 4 + i * es_;
      const int32_t record = GetI32(entry);
      ++report_.entries;
      if (!previous_.empty()) {
        int c = format_.Compare(previous_.data() + 4, entry + 4);
        if (c > 0 || (c == 0 && GetI32(previous_.data()) >= record)) {
          Problem(where + ": entry " + std::to_string(i) + " out of order after the previous one");
        }
      }
      previous_.assign(entry, entry + es_);
      if (keys_ == nullptr) continue;
      if (record < 0 || record >= count_) {
        Problem(where + ": record " + std::to_string(record) + " does not exist");
        continue;
      }
      if (seen_[static_cast<size_t>(record)]++ != 0) {
        Problem("record " + std::to_string(record) + " indexed more than once");
      }
      if (std::memcmp(entry + 4, keys_ + int64_t{record} * header_.key_size,
                      static_cast<size_t>(header_.key_size)) != 0) {
        Problem("record " + std::to_string(record) + " indexed under another key");
      }
    }
  }

  void CheckFreeChain() {
    int32_t block = header_.first_free;
    for (int32_t i = 0; i < header_.free_count; ++i) {
      if (block < 1 || block >= header_.blocks) return Problem("free chain leaves the file");
      if (owner_[static_cast<size_t>(block)]++ != 0) return Problem("free block also in use");
      const uint8_t* p = pager_->Fetch(block);
      if (p == nullptr) return Problem("free block cannot be read");
      block = GetI32(p);
    }
  }

  void CheckCoverage() {
    for (size_t b = 1; b < owner_.size(); ++b) {
      if (owner_[b] == 0) {
        Problem("block " + std::to_string(b) + " neither in the tree nor free");
        break;
      }
    }
    if (keys_ == nullptr) return;
    for (size_t r = 0; r < seen_.size(); ++r) {
      if (seen_[r] == 0) {
        Problem("record " + std::to_string(r) + " missing from the index");
        break;
      }
    }
  }

  Pager* pager_;
  const KeyFormat& format_;
  const IndexHeader& header_;
  const uint8_t* keys_;
  int32_t count_;
  int32_t es_;
  int32_t max_keys_;
  std::vector<uint8_t> owner_;
  std::vector<uint8_t> seen_;
  std::vector<uint8_t> previous_;
  int leaf_depth_ = 0;
  TreeReport report_;
};

}  // namespace

TreeReport CheckTree(Pager* pager, const KeyFormat& format, const IndexHeader& header,
                     const uint8_t* record_keys, int32_t record_count) {
  if (header.blocks < 2 || header.key_size != format.size() || header.block_size < 512 ||
      MaxKeys(header.block_size, header.key_size) < 2) {
    TreeReport report;
    report.problems.push_back("index header unusable");
    return report;
  }
  return Checker(pager, format, header, record_keys, record_count).Run();
}

}  // namespace recorddb
