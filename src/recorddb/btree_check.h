// A consistency checker for an index tree, used by the tests and by
// `tiepic-db check`: every node well formed and reached once, all leaves at
// one depth, separators bounding their children, leaf entries in key order
// with equal keys in record-number order, no node past M keys, the free
// chain and block count adding up, and, given the table's keys, every
// record's key present exactly once under its record number.
#ifndef TIEPIC_RECORDDB_BTREE_CHECK_H_
#define TIEPIC_RECORDDB_BTREE_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "recorddb/btree.h"
#include "recorddb/index_file.h"
#include "recorddb/key.h"

namespace recorddb {

struct TreeReport {
  std::vector<std::string> problems;  // empty when consistent
  int64_t entries = 0;
  int32_t depth = 0;
  int32_t nodes = 0;
};

// `record_keys` holds `record_count` keys of header.key_size bytes, record
// 0 first, or is null to skip the comparison with the table.
TreeReport CheckTree(Pager* pager, const KeyFormat& format, const IndexHeader& header,
                     const uint8_t* record_keys, int32_t record_count);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_BTREE_CHECK_H_
