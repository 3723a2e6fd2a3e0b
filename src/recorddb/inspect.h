// Looking into a database's files as they are on disk, without opening it
// through the operations (so nothing is repaired or rebuilt): a printable
// dump and a consistency check of the main file and an index file. Used by
// `tiepic-db` and by the tests. Output is UTF-8.
#ifndef TIEPIC_RECORDDB_INSPECT_H_
#define TIEPIC_RECORDDB_INSPECT_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace recorddb {

struct CheckResult {
  int32_t error = 0;                  // a file that cannot be read as a database
  std::vector<std::string> problems;  // inconsistencies found
};

// Checks the main file `db` and, when `index` is not empty, the index file
// against its records. Paths are GBK.
CheckResult CheckDatabaseFiles(const rt::Text& db, const rt::Text& index);

// The problems alone, a read error counting as one (for tests).
std::vector<std::string> CheckFiles(const rt::Text& db, const rt::Text& index);

// Writes the header, descriptors, records and, when `index` is not empty,
// the index header and every tree node. Returns 0 or an error code.
int32_t DumpDatabaseFiles(const rt::Text& db, const rt::Text& index, std::ostream& out);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_INSPECT_H_
