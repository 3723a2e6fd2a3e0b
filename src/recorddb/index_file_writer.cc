// Writing side of the index file header and of a new, empty index.
#include <algorithm>
#include <cstring>

#include "recorddb/coding.h"
#include "recorddb/index_file.h"

namespace recorddb {

void EncodeIndexHeader(const IndexHeader& h, uint8_t out[kIndexHeaderSize]) {
  std::memset(out, 0, kIndexHeaderSize);
  std::memcpy(out, "WENX", 4);
  PutI32(out + 4, h.version);
  PutF64(out + 8, h.created);
  PutI32(out + 16, h.collation);
  PutI32(out + 20, h.key_flags);
  PutI32(out + 24, h.blocks);
  PutI32(out + 28, h.free_count);
  PutI32(out + 32, h.first_free);
  PutI32(out + 36, h.root);
  PutI32(out + 40, h.block_size);
  PutI32(out + 44, h.key_size);
  PutI32(out + 48, h.field_count);
  for (int i = 0; i < kMaxIndexFields && i < h.field_count; ++i) {
    const rt::Text& name = h.names[static_cast<size_t>(i)];
    std::memcpy(out + 52 + kIndexNameSlot * i, name.data(),
                std::min<size_t>(name.size(), kIndexNameSlot - 1));
    PutI32(out + 188 + 4 * i, h.field_types[static_cast<size_t>(i)]);
  }
}

std::vector<uint8_t> EncodeNewIndex(const IndexHeader& header) {
  std::vector<uint8_t> out(static_cast<size_t>(header.block_size) * 2, 0);
  EncodeIndexHeader(header, out.data());
  return out;
}

}  // namespace recorddb
