// The record database's operations: a small single-table store of
// fixed-length records with B-tree indexes, used by the download to remember
// the picture ids it has saved. Each operation returns true or false and
// leaves its outcome in the calling thread's last-error code (errors.h).
//
// A process-wide list holds the open databases in opening order; opening
// makes a database current, and the record operations address the current
// database and its current index.
//
// Paths are GBK texts; a path without an extension gets the default one
// (main file "EDB", index "ENX"); "/" separates folders.
//
// Thread safety: the list is guarded by one mutex, so calls from several
// threads cannot corrupt it, but they share one current database; the
// download uses it from its worker thread only. The last-error code is per
// thread.
#ifndef TIEPIC_RECORDDB_OPERATIONS_H_
#define TIEPIC_RECORDDB_OPERATIONS_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "recorddb/errors.h"
#include "runtime/value.h"

namespace recorddb {

// A field of a table to create. A new description has size 20.
struct FieldDescription {
  rt::Text name;
  int32_t type = 10;
  int32_t size = 20;
};

// Creates (or replaces) a database with `fields`, taken up to the first
// one with an empty name. Does not open it. A database open elsewhere is not
// replaced (-12).
bool DbCreate(const rt::Text& file_name, const std::vector<FieldDescription>& fields);

// Share modes are kept among the programs that claim them (every open
// through these operations does): an open whose access another open denies,
// or that denies an access another open has, fails with -12. A program that
// opens the files without claiming is not held off. Modes 2 and 4 take no
// record locks at all, as nobody else may be reading. Values other than 2, 3
// and 4 count as 1.
struct DbOpenOptions {
  rt::Text alias;            // empty: none
  int32_t read_only = 0;     // 1: read-only
  int32_t share_mode = 1;    // 1 none denied, 2 deny reading, 3 deny writing, 4 both
  rt::Text password;         // ignored: the password-protected variant is refused (-21)
  std::vector<rt::Text> index_files;  // opened in order; the first becomes current
};

// Opens a database, checking and repairing it, and makes it current: a
// header count above the whole records present is lowered to them, one
// below them is raised (the records are complete), and a partial record at
// the end is cut off; a read-only open repairs nothing and refuses a file
// with fewer records than its header counts (-48).
bool DbOpen(const rt::Text& file_name, const DbOpenOptions& options = {});

struct DbIndexOptions {
  int32_t collation = 0;     // 2 or 3 (stored as 1 or 2); anything else: 0
  int32_t key_flags = 0;     // bits 0 and 1 kept
  int32_t block_factor = 1;  // clamped to 1..10; block size 512 * factor
};

// Creates the index file anew over `fields` of the current database, fills
// it from every record, opens it and makes it the current index. Building an
// index the database has open already replaces that one. Key flags make text
// fields compare ignoring the case of ASCII letters (bit 0) and spaces (bit
// 1); the collation kind is stored, but texts compare by their bytes
// whatever it is, as this program never asks for another.
bool DbCreateIndex(const rt::Text& index_file, const std::vector<rt::Text>& fields,
                   const DbIndexOptions& options = {});

// Sets the current database's record position to 0.
bool DbRewind();

// Finds, through the current index, a record at or after the current
// position whose key equals `values` (one per index field) and makes it
// current. False with last error 0 when there is none.
bool DbFind(const std::vector<rt::Value>& values);

// Appends a record with `values` in field order (missing ones are zero)
// and makes it current.
bool DbAppend(const std::vector<rt::Value>& values);

// Closes the database named by alias, title or full path, or the current
// one when `name` is omitted. With nothing current and no name it does
// nothing and returns true.
bool DbClose(const std::optional<rt::Text>& name = std::nullopt);

// Closes every open database (at the end of a program or a test).
void DbCloseAll();

// Moves the files of the closed database `file_name` out of the way: the
// main file, its auxiliary file and `index_file` (named as for
// DbCreateIndex; empty: none) each get ".<suffix>" added to their names, or
// ".<suffix>-2", "-3"... when a file of one of those names exists, so that
// nothing is ever written over; files that are missing are passed over.
// Returns true iff the main file was moved, with its new path in `moved_to`.
// REQUIRES: the database is not open in this process.
bool DbSetAside(const rt::Text& file_name, const rt::Text& index_file, const rt::Text& suffix,
                rt::Text* moved_to);

// --- inspection for tools and tests ---

// The fields (names as stored) and record size of the database
// `file_name`, read without opening it through DbOpen, so that nothing is
// repaired: a caller can tell a table of the fields it expects before it
// lets an open change the file. Returns false with the code of a file that
// cannot be read or is not a database.
// With `counts`, also the records its header counts and the whole records
// the file holds (an open lowers the first to the second).
struct TableCounts {
  int64_t counted = 0;
  int64_t held = 0;
};
bool DbPeekTable(const rt::Text& file_name, std::vector<FieldDescription>* fields,
                 int32_t* record_size, TableCounts* counts = nullptr);

// The current database's record position, or -1 with no current database.
int32_t DbCurrentPosition();
// The number of open databases.
int DbOpenCount();

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_OPERATIONS_H_
