// Feeds arbitrary main and index files to DbOpen and searches them with
// DbFind: whatever the bytes, the operations must answer with a result and
// an error code, never crash, hang or read out of bounds.
//
// Input: byte 0 holds flags (bit 0 read-only open, bit 1 append a record,
// bit 2 rebuild the index from the records first),
// bytes 1-2 the main file's length (little-endian); the main file follows,
// the rest is the index file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "recorddb/operations.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/tiepic-fuzz-XXXXXX";
    return std::string(::mkdtemp(pattern));
  }();
  return folder;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  size_t main_size = data[1] | (size_t{data[2]} << 8);
  data += 3;
  size -= 3;
  if (main_size > size) main_size = size;
  const std::string db = Folder() + "/f.edb";
  WriteFile(db, data, main_size);
  WriteFile(Folder() + "/f.ENX", data + main_size, size - main_size);

  recorddb::DbOpenOptions options;
  options.read_only = flags & 1;
  options.index_files = {"f"};
  if (recorddb::DbOpen(db, options)) {
    if (flags & 4) recorddb::DbCreateIndex(Folder() + "/g", {"photo_id"});
    const rt::Text probes[] = {"", "1", "0123456789abcdefghij", std::string(40, '\xff')};
    for (const rt::Text& probe : probes) {
      recorddb::DbRewind();
      recorddb::DbFind({rt::Value(probe)});
      recorddb::DbFind({rt::Value(int32_t{7})});
    }
    if (flags & 2) recorddb::DbAppend({rt::Value(rt::Text("new"))});
    recorddb::DbClose();
  }
  return 0;
}
