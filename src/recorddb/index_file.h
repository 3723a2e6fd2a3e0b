// The index file: blocks of the index's block size; block 0 holds the
// header (zero-filled to the block size), every other block one B-tree
// node or a free block.
//
//   OFFSET  SIZE  MEANING
//   0       4     magic "WENX"
//   4       4     i32 version, equal to the main file's
//   8       8     f64 creation time
//   16      4     i32 collation kind (0 = raw bytes)
//   20      4     i32 key flags: bit 0 ignore letter case, bit 1 ignore spaces
//   24      4     i32 number of blocks in the file (at least 2)
//   28      4     i32 number of free blocks, 0 in a new file
//   32      4     i32 first free block, 0 in a new file
//   36      4     i32 root block, 1 in a new file
//   40      4     i32 block size: 512 * f, f in 1..100
//   44      4     i32 key size: sum of the index fields' sizes, at most 80
//   48      4     i32 number of index fields, 1..8
//   52      136   8 slots of 17 bytes: index field names, zero-terminated
//   188     32    8 x i32: each field's type code, or minus its size for text
//   220     4     reserved
//
// B-tree node (one block):
//   0       2     u16 kind: 1 inner node, 0 leaf
//   2       2     u16 number of keys e
//   4+i*(k+4)     entry i: i32, then the k key bytes. In a leaf the i32 is a
//                 record number; in an inner node the block of child i,
//                 whose keys are not greater than key i, while the keys of
//                 the later children are not less than key i.
//   4+e*(k+4) 4   inner node: the last child
//   rest          zero
// A free block keeps the number of the next free block in its first four
// bytes (0 ends the chain).
#ifndef TIEPIC_RECORDDB_INDEX_FILE_H_
#define TIEPIC_RECORDDB_INDEX_FILE_H_

#include <array>
#include <cstdint>
#include <vector>

#include "recorddb/file.h"
#include "runtime/value.h"

namespace recorddb {

inline constexpr int64_t kIndexHeaderSize = 224;
inline constexpr int kMaxIndexFields = 8;
inline constexpr int kIndexNameSlot = 17;
inline constexpr int32_t kMaxKeySize = 80;
inline constexpr int32_t kNodeHeaderSize = 4;

struct IndexHeader {
  int32_t version = 0;
  double created = 0;
  int32_t collation = 0;
  int32_t key_flags = 0;
  int32_t blocks = 2;
  int32_t free_count = 0;
  int32_t first_free = 0;
  int32_t root = 1;
  int32_t block_size = 512;
  int32_t key_size = 0;
  int32_t field_count = 0;
  std::array<rt::Text, kMaxIndexFields> names;
  std::array<int32_t, kMaxIndexFields> field_types = {};
};

// M, the most keys a node holds, and H = M / 2.
inline int32_t MaxKeys(int32_t block_size, int32_t key_size) {
  return (block_size - 8) / (key_size + 4);
}

// --- writer (index_file_writer.cc) ---

void EncodeIndexHeader(const IndexHeader& header, uint8_t out[kIndexHeaderSize]);
// Header block plus the empty root leaf of a new index.
std::vector<uint8_t> EncodeNewIndex(const IndexHeader& header);

// --- reader (index_file_reader.cc) ---

void DecodeIndexHeader(const uint8_t in[kIndexHeaderSize], IndexHeader* header);

// Checks a header read from a file of `file_size` bytes. Returns 0, -31
// (not an index or damaged), -49 (shorter than its block count) or -32
// (version differs from `main_version`).
int32_t CheckIndexHeader(const IndexHeader& header, int64_t file_size,
                         int32_t main_version);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_INDEX_FILE_H_
