// An open record database and its open indexes, with the locking rules
// every operation follows: one-byte region locks on the main file (the
// header byte at offset 16, the first byte of a record), counted per offset
// so that nested locks touch the file once; a whole-file lock on an index
// file around each of its searches and insertions; no locks at all when the
// database was opened denying others reading.
//
// Locks of one open file never overlap each other (the header byte and the
// record bytes are distinct, the whole-file lock of the main file is taken
// only while opening), because POSIX does not nest overlapping ranges.
//
// Thread safety: a Database is used by one thread at a time.
#ifndef TIEPIC_RECORDDB_DATABASE_H_
#define TIEPIC_RECORDDB_DATABASE_H_

#include <array>
#include <cstdint>
#include <utility>
#include <memory>
#include <vector>

#include "recorddb/btree.h"
#include "recorddb/file.h"
#include "recorddb/index_file.h"
#include "recorddb/key.h"
#include "recorddb/main_file.h"

namespace recorddb {

inline constexpr int64_t kWholeFileLength = 2147483647;
inline constexpr int kMaxOpenIndexes = 10;

struct OpenIndex {
  File file;
  rt::Text path;  // full path, GBK
  IndexHeader header;
  KeyFormat format;
  int lock_depth = 0;
  // Blocks kept between operations. They stay valid while the index
  // header and the main file's record count read under the locks are the
  // ones seen last: every change to a tree goes with a new record, and a
  // tree rebuilt from the same records has the same bytes.
  std::unique_ptr<FilePager> pager;
  std::array<uint8_t, kIndexHeaderSize> seen_header = {};
  IndexHeader seen_decoded;  // seen_header, decoded and checked
  int32_t seen_count = -1;
};

class Database {
 public:
  File main;
  File aux;
  bool read_only = false;
  bool no_locks = false;  // opened denying others reading
  rt::Text path;          // GBK, as given, with its extension: opens the files
  rt::Text full_path;     // GBK, absolute: compares databases
  rt::Text title;
  rt::Text alias;
  TableLayout layout;
  int32_t position = 0;
  std::vector<std::unique_ptr<OpenIndex>> indexes;
  int current_index = -1;

  // A one-byte lock at `offset` of the main file. Returns 0 or -28/-29.
  int32_t Lock(int64_t offset);
  int32_t Unlock(int64_t offset);
  // The whole main file (used while opening). Returns 0 or -28/-29.
  int32_t LockWholeFile();
  int32_t UnlockWholeFile();

  // Index whole-file locks, nested calls locking once. 0 or -28/-29.
  int32_t LockIndex(OpenIndex& index);
  int32_t UnlockIndex(OpenIndex& index);

  // Reads the record count and next sequence number at offset 16.
  // Returns 0 or -65.
  int32_t ReadCount(int32_t* count, int32_t* next_sequence) const;

 private:
  // (offset, nesting count); a handful at most, so a flat list.
  std::vector<std::pair<int64_t, int>> locks_;
};

// The key layout of index fields named in `header` as found in `layout`.
// Returns 0, or -43 (missing), -54 (type) or -53 (size) for a field that
// does not match, or -31 when the key size disagrees.
int32_t MatchIndexFields(const TableLayout& layout, const IndexHeader& header,
                         KeyFormat* format);

// Searches `index` for the first record >= `min_record` and below `count`
// with key `key` that `accept` (when given) takes; *record is -1 when there
// is none. Takes the index lock and reads the header afresh. Returns 0 or an
// error code.
int32_t IndexFind(Database& db, OpenIndex& index, const uint8_t* key, int32_t min_record,
                  int32_t count, int32_t* record, const BTree::EntryFilter& accept = {});

// Inserts (key, record) into `index`, writing the changed blocks and the
// header. `count` is the main file's count before the new record.
int32_t IndexInsert(Database& db, OpenIndex& index, const uint8_t* key, int32_t record,
                    int32_t count);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_DATABASE_H_
