// The auxiliary file: holds the contents of byte-array and memo fields, in
// 512-byte blocks counted from the start of the file (the header lies in
// block 0).
//
//   OFFSET  SIZE  MEANING
//   0       4     magic "WEDT"
//   4       4     i32 version, equal to the main file's
//   8       8     f64 creation time
//   16      4     i32 number of 512-byte blocks in use, 1 in a new file
//   20      4     i32 block number below the block count (0: none; kept 0)
//   24      4     i32 block number below the block count (0: none; kept 0)
//   28      4     zero
//   32      480   zero (rest of block 0)
//
// A stored value starts at a block of its own: an i32 byte length, then the
// bytes, running on through as many following blocks as it needs. The
// record's 4-byte field holds that first block number, or 0 for an empty
// value. Values are never removed, so the two block numbers at 20 and 24,
// which could chain free space, stay 0.
#ifndef TIEPIC_RECORDDB_AUX_FILE_H_
#define TIEPIC_RECORDDB_AUX_FILE_H_

#include <cstdint>
#include <string_view>

#include "recorddb/file.h"

namespace recorddb {

inline constexpr int64_t kAuxBlockSize = 512;
inline constexpr int64_t kAuxHeaderSize = 32;

struct AuxHeader {
  int32_t version = 0;
  double created = 0;
  int32_t blocks = 1;
  int32_t block_a = 0;
  int32_t block_b = 0;
};

// --- writer (aux_file_writer.cc) ---

// Makes a new auxiliary file (header and one zero block). Returns 0 or errno.
int CreateAuxFile(const File& file, double created);

// Appends `value` and sets `*reference`. The caller holds the database's
// header lock, so no other program appends at the same time. Returns 0 or a
// file error code.
int32_t AppendAuxValue(const File& file, std::string_view value, int32_t* reference);

// --- reader (aux_file_reader.cc) ---

void DecodeAuxHeader(const uint8_t in[kAuxHeaderSize], AuxHeader* header);

// Checks the file against the main file's version and corrects a block
// count larger than the blocks present (unless read-only). Returns 0, -35
// (unreadable), -36 (version), -37 (not an auxiliary file), -48 (read-only
// and short) or a file error code.
int32_t CheckAuxFile(const File& file, int32_t main_version, bool read_only);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_AUX_FILE_H_
