// Reading side of the index file header, with the checks made before an
// index is used: every number that later becomes an offset is bounded here.
#include <cstring>

#include "recorddb/coding.h"
#include "recorddb/errors.h"
#include "recorddb/index_file.h"

namespace recorddb {

void DecodeIndexHeader(const uint8_t in[kIndexHeaderSize], IndexHeader* h) {
  h->version = GetI32(in + 4);
  h->created = GetF64(in + 8);
  h->collation = GetI32(in + 16);
  h->key_flags = GetI32(in + 20);
  h->blocks = GetI32(in + 24);
  h->free_count = GetI32(in + 28);
  h->first_free = GetI32(in + 32);
  h->root = GetI32(in + 36);
  h->block_size = GetI32(in + 40);
  h->key_size = GetI32(in + 44);
  h->field_count = GetI32(in + 48);
  for (int i = 0; i < kMaxIndexFields; ++i) {
    const char* slot = reinterpret_cast<const char*>(in + 52 + kIndexNameSlot * i);
    h->names[static_cast<size_t>(i)].assign(slot, strnlen(slot, kIndexNameSlot));
    h->field_types[static_cast<size_t>(i)] = GetI32(in + 188 + 4 * i);
  }
}

int32_t CheckIndexHeader(const IndexHeader& h, int64_t file_size, int32_t main_version) {
  const bool sound = h.blocks >= 2 && h.free_count >= 0 && h.free_count < h.blocks &&
                     h.first_free >= 0 && h.first_free < h.blocks && h.root >= 1 &&
                     h.root < h.blocks && h.block_size >= 512 &&
                     h.block_size <= 512 * 100 && h.key_size >= 1 &&
                     h.key_size <= kMaxKeySize && h.field_count >= 1 &&
                     h.field_count <= kMaxIndexFields;
  if (!sound) return kErrNotIndex;
  if (file_size / h.block_size < h.blocks) return kErrIndexSize;
  if (h.version != main_version) return kErrIndexVersion;
  return 0;
}

}  // namespace recorddb
