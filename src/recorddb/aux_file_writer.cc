// Writing side of the auxiliary file: a new file and appended values.
#include <cstring>
#include <vector>

#include "recorddb/aux_file.h"
#include "recorddb/coding.h"
#include "recorddb/errors.h"
#include "recorddb/main_file.h"

namespace recorddb {

int CreateAuxFile(const File& file, double created) {
  uint8_t block[kAuxBlockSize] = {};
  std::memcpy(block, "WEDT", 4);
  PutI32(block + 4, kVersion);
  PutF64(block + 8, created);
  PutI32(block + 16, 1);
  if (int err = file.Truncate(0); err != 0) return err;
  return file.WriteAt(0, block, sizeof block);
}

int32_t AppendAuxValue(const File& file, std::string_view value, int32_t* reference) {
  *reference = 0;
  if (value.empty()) return 0;
  uint8_t count_bytes[4];
  if (int err = file.ReadAt(16, count_bytes, 4); err != 0) {
    return err == -1 ? kErrAuxRead : FileErrorCode(err);
  }
  const int64_t first = GetI32(count_bytes);
  const int64_t total = 4 + static_cast<int64_t>(value.size());
  const int64_t used = (total + kAuxBlockSize - 1) / kAuxBlockSize;
  if (first < 1 || first + used > INT32_MAX) return kErrDiskFull;
  std::vector<uint8_t> data(static_cast<size_t>(used * kAuxBlockSize), 0);
  PutI32(data.data(), static_cast<int32_t>(value.size()));
  std::memcpy(data.data() + 4, value.data(), value.size());
  if (int err = file.WriteAt(first * kAuxBlockSize, data.data(), data.size()); err != 0) {
    return FileErrorCode(err);
  }
  PutI32(count_bytes, static_cast<int32_t>(first + used));
  if (int err = file.WriteAt(16, count_bytes, 4); err != 0) return FileErrorCode(err);
  *reference = static_cast<int32_t>(first);
  return 0;
}

}  // namespace recorddb
