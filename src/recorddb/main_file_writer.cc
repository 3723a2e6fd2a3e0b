// Writing side of the main file: a new table's header and descriptors, and
// the record-count repair made by a read-write open.
#include <cstring>

#include "recorddb/coding.h"
#include "recorddb/errors.h"
#include "recorddb/main_file.h"

namespace recorddb {

void EncodeMainHeader(const MainHeader& header, uint8_t out[kMainHeaderSize]) {
  std::memset(out, 0, kMainHeaderSize);
  std::memcpy(out, header.magic, 4);
  PutI32(out + 4, header.version);
  PutF64(out + 8, header.created);
  PutI32(out + 16, header.count);
  PutI32(out + 20, header.next_sequence);
  PutI32(out + 24, header.record_size);
}

void EncodeDescriptor(const FieldDescriptor& field, uint8_t out[kDescriptorSize]) {
  std::memset(out, 0, kDescriptorSize);
  std::memcpy(out, field.name.data(), std::min<size_t>(field.name.size(), kMaxNameBytes));
  PutI32(out + 20, field.type);
  PutI32(out + 24, field.offset);
  PutI32(out + 28, field.type == kTypeText ? field.declared : 0);
}

std::vector<uint8_t> EncodeNewTable(const std::vector<FieldDescriptor>& fields,
                                    double created) {
  const size_t n = fields.size();
  std::vector<uint8_t> out(kFieldsOffset + kDescriptorSize * n, 0);
  int32_t offset = 4;
  for (size_t i = 0; i < n; ++i) {
    FieldDescriptor placed = fields[i];
    placed.offset = offset;
    offset += FieldWidth(placed.type, placed.declared);
    EncodeDescriptor(placed, out.data() + kFieldsOffset + kDescriptorSize * i);
  }
  MainHeader header;
  header.created = created;
  header.record_size = offset;
  EncodeMainHeader(header, out.data());
  PutI32(out.data() + kFieldCountOffset, static_cast<int32_t>(n));
  return out;
}

// Recovery rule: whole records past the header count were written by an
// append that stopped before its header update; they are complete, so the
// count is raised to keep them, and the next sequence number is raised past
// theirs so that no number is used twice. A partial record at the end never
// finished and is cut off. The header goes to disk before the cut, so a
// crash between the two leaves at worst a partial tail that the next open
// cuts again.
int32_t RepairRecordCount(const File& file, TableLayout* layout, int64_t physical) {
  MainHeader& header = layout->header;
  if (physical > INT32_MAX) physical = INT32_MAX;
  const int64_t rs = header.record_size;
  int32_t next = header.next_sequence;
  for (int64_t k = header.count; k < physical; ++k) {
    uint8_t seq[4];
    if (int err = file.ReadAt(layout->data_start + k * rs, seq, 4); err != 0) {
      return err == -1 ? kErrFileSize : FileErrorCode(err);
    }
    const int32_t kept = GetI32(seq);
    if (kept >= next) next = kept == INT32_MAX ? kept : kept + 1;
  }
  if (header.count != physical || header.next_sequence != next) {
    uint8_t raw[8];
    PutI32(raw, static_cast<int32_t>(physical));
    PutI32(raw + 4, next);
    if (int err = file.WriteAt(kCountOffset, raw, 8); err != 0) return FileErrorCode(err);
    header.count = static_cast<int32_t>(physical);
    header.next_sequence = next;
  }
  const int64_t end = layout->data_start + physical * rs;
  const int64_t size = file.Size();
  if (size < 0) return FileErrorCode(static_cast<int>(-size));
  if (size != end) {
    if (int err = file.Truncate(end); err != 0) return FileErrorCode(err);
  }
  return 0;
}

}  // namespace recorddb
