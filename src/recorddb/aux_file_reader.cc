// Reading side of the auxiliary file: the header checks made at open.
#include <cstring>

#include "recorddb/aux_file.h"
#include "recorddb/coding.h"
#include "recorddb/errors.h"

namespace recorddb {

void DecodeAuxHeader(const uint8_t in[kAuxHeaderSize], AuxHeader* header) {
  header->version = GetI32(in + 4);
  header->created = GetF64(in + 8);
  header->blocks = GetI32(in + 16);
  header->block_a = GetI32(in + 20);
  header->block_b = GetI32(in + 24);
}

// Recovery rule: a block count beyond the whole blocks present means an
// append stopped between writing its blocks and the count, or the file was
// cut; the count is lowered to the blocks present so that new values never
// leave a gap.
int32_t CheckAuxFile(const File& file, int32_t main_version, bool read_only) {
  uint8_t raw[kAuxHeaderSize];
  if (int err = file.ReadAt(0, raw, sizeof raw); err != 0) {
    return err == -1 ? kErrNotAux : kErrAuxRead;
  }
  if (std::memcmp(raw, "WEDT", 4) != 0) return kErrNotAux;
  AuxHeader h;
  DecodeAuxHeader(raw, &h);
  if (h.blocks <= 0 || h.block_a < 0 || h.block_a >= h.blocks || h.block_b < 0 ||
      h.block_b >= h.blocks) {
    return kErrNotAux;
  }
  if (h.version != main_version) return kErrAuxVersion;
  const int64_t size = file.Size();
  if (size < 0) return kErrAuxRead;
  const int64_t whole = size / kAuxBlockSize;
  if (whole >= h.blocks) return 0;
  if (read_only || whole < 1) return read_only ? kErrFileSize : kErrNotAux;
  uint8_t count[4];
  PutI32(count, static_cast<int32_t>(whole));
  if (int err = file.WriteAt(16, count, 4); err != 0) return FileErrorCode(err);
  return 0;
}

}  // namespace recorddb
