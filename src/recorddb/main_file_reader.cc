// Reading side of the main file: header and descriptors with their checks.
// Every value is checked before it is used as a size or an offset, so a
// hostile file gives an error code, never an oversized read.
#include <cstring>

#include "recorddb/coding.h"
#include "recorddb/errors.h"
#include "recorddb/main_file.h"

namespace recorddb {

void DecodeMainHeader(const uint8_t in[kMainHeaderSize], MainHeader* header) {
  std::memcpy(header->magic, in, 4);
  header->version = GetI32(in + 4);
  header->created = GetF64(in + 8);
  header->count = GetI32(in + 16);
  header->next_sequence = GetI32(in + 20);
  header->record_size = GetI32(in + 24);
}

FieldDescriptor DecodeDescriptor(const uint8_t in[kDescriptorSize]) {
  FieldDescriptor field;
  const void* zero = std::memchr(in, 0, kMaxNameBytes + 1);
  size_t len = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - in)
                    : kMaxNameBytes + 1;
  field.name.assign(reinterpret_cast<const char*>(in), len);
  field.type = GetI32(in + 20);
  field.offset = GetI32(in + 24);
  field.declared = GetI32(in + 28);
  return field;
}

namespace {

int32_t ReadError(int err) { return err == -1 ? kErrNotDatabase : FileErrorCode(err); }

// Returns true iff the descriptor is usable: a terminated name, a known
// type, a text size of 1..1024 and a place inside the record.
bool DescriptorIsSound(const uint8_t* raw, const FieldDescriptor& f, int32_t record_size) {
  if (std::memchr(raw, 0, kMaxNameBytes + 1) == nullptr) return false;
  if (f.type < kTypeByte || f.type > kTypeMemo) return false;
  if (f.type == kTypeText && (f.declared <= 0 || f.declared > 1024)) return false;
  const int64_t width = FieldWidth(f.type, f.declared);
  return f.offset >= 4 && int64_t{f.offset} + width <= record_size;
}

}  // namespace

int32_t ReadTableLayout(const File& file, TableLayout* layout) {
  uint8_t head[kMainHeaderSize + 4];
  if (int err = file.ReadAt(0, head, kMainHeaderSize); err != 0) return ReadError(err);
  if (std::memcmp(head, "WCDB", 4) == 0) return kErrOpenFailed;
  if (std::memcmp(head, "WEDB", 4) != 0) return kErrNotDatabase;
  MainHeader& h = layout->header;
  DecodeMainHeader(head, &h);
  if (h.record_size <= 0 || h.count < 0 || h.next_sequence <= 0) return kErrNotDatabase;
  if (h.version > kVersion) return kErrVersionTooNew;
  if (int err = file.ReadAt(kFieldCountOffset, head + kMainHeaderSize, 4); err != 0) {
    return ReadError(err);
  }
  const int32_t n = GetI32(head + kMainHeaderSize);
  const int64_t size = file.Size();
  if (size < 0) return FileErrorCode(static_cast<int>(-size));
  // Every field takes at most 1024 bytes, which bounds a sound record size.
  if (n <= 0 || kFieldsOffset + kDescriptorSize * n > size ||
      h.record_size > 4 + 1024 * int64_t{n}) {
    return kErrNotDatabase;
  }
  std::vector<uint8_t> raw(static_cast<size_t>(kDescriptorSize * n));
  if (int err = file.ReadAt(kFieldsOffset, raw.data(), raw.size()); err != 0) {
    return ReadError(err);
  }
  layout->fields.clear();
  layout->fields.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* d = raw.data() + kDescriptorSize * i;
    FieldDescriptor f = DecodeDescriptor(d);
    if (!DescriptorIsSound(d, f, h.record_size)) return kErrNotDatabase;
    if (f.type != kTypeText) f.declared = 0;
    layout->fields.push_back(std::move(f));
  }
  layout->data_start = kFieldsOffset + kDescriptorSize * n;
  return 0;
}

int64_t CountWholeRecords(const File& file, const TableLayout& layout) {
  const int64_t size = file.Size();
  if (size < 0) return -1;
  if (size <= layout.data_start) return 0;
  return (size - layout.data_start) / layout.header.record_size;
}

}  // namespace recorddb
