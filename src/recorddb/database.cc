// Locks of an open database and the locked index operations.
#include "recorddb/database.h"

#include <cstring>

#include "platform/file_lock_posix.h"
#include "recorddb/coding.h"
#include "recorddb/errors.h"

namespace recorddb {
namespace {

// Kept index blocks are dropped past this many, so memory stays small.
constexpr size_t kMaxCachedBlocks = 8192;

int32_t LockResult(int err, int32_t code) { return err == 0 ? 0 : code; }

// Reads the index header afresh and decides whether the kept blocks still
// hold. Returns 0 or an error code; *header gets the fresh values.
int32_t RefreshIndex(OpenIndex& index, int32_t count, uint8_t raw[kIndexHeaderSize],
                     IndexHeader* header) {
  if (int err = index.file.ReadAt(0, raw, kIndexHeaderSize); err != 0) {
    return err == -1 ? kErrNotIndex : FileErrorCode(err);
  }
  const bool same = count == index.seen_count &&
                    std::memcmp(raw, index.seen_header.data(), kIndexHeaderSize) == 0 &&
                    index.pager->cached() < kMaxCachedBlocks;
  if (same) {
    *header = index.seen_decoded;
    return 0;
  }
  index.pager->Discard();
  index.seen_count = -1;
  if (std::memcmp(raw, "WENX", 4) != 0) return kErrNotIndex;
  DecodeIndexHeader(raw, header);
  // The shape must be the one the key format was made for; another program
  // rebuilding the index over other fields makes it a different index.
  const IndexHeader& opened = index.header;
  const bool shape = header->block_size == opened.block_size &&
                     header->key_size == opened.key_size &&
                     header->key_flags == opened.key_flags &&
                     header->field_count == opened.field_count &&
                     header->names == opened.names &&
                     header->field_types == opened.field_types;
  if (!shape || CheckIndexHeader(*header, INT64_MAX, opened.version) != 0) {
    return kErrNotIndex;
  }
  return 0;
}

void Remember(OpenIndex& index, const uint8_t raw[kIndexHeaderSize],
              const IndexHeader& header, int32_t count) {
  std::memcpy(index.seen_header.data(), raw, kIndexHeaderSize);
  index.seen_decoded = header;
  index.seen_count = count;
}

}  // namespace

int32_t Database::Lock(int64_t offset) {
  if (no_locks) return 0;
  for (auto& [at, depth] : locks_) {
    if (at == offset) {
      ++depth;
      return 0;
    }
  }
  if (platform::LockRange(main.fd(), offset, 1, main.writable()) != 0) return kErrLockFailed;
  locks_.emplace_back(offset, 1);
  return 0;
}

int32_t Database::Unlock(int64_t offset) {
  if (no_locks) return 0;
  for (size_t i = 0; i < locks_.size(); ++i) {
    if (locks_[i].first != offset) continue;
    if (--locks_[i].second > 0) return 0;
    locks_.erase(locks_.begin() + static_cast<std::ptrdiff_t>(i));
    return LockResult(platform::UnlockRange(main.fd(), offset, 1), kErrUnlockFailed);
  }
  return kErrUnlockFailed;
}

int32_t Database::LockWholeFile() {
  if (no_locks) return 0;
  return LockResult(platform::LockRange(main.fd(), 0, kWholeFileLength, main.writable()),
                    kErrLockFailed);
}

int32_t Database::UnlockWholeFile() {
  if (no_locks) return 0;
  return LockResult(platform::UnlockRange(main.fd(), 0, kWholeFileLength),
                    kErrUnlockFailed);
}

int32_t Database::LockIndex(OpenIndex& index) {
  if (no_locks) return 0;
  if (index.lock_depth == 0) {
    int err = platform::LockRange(index.file.fd(), 0, kWholeFileLength,
                                  index.file.writable());
    if (err != 0) return kErrLockFailed;
  }
  ++index.lock_depth;
  return 0;
}

int32_t Database::UnlockIndex(OpenIndex& index) {
  if (no_locks) return 0;
  if (index.lock_depth <= 0) return kErrUnlockFailed;
  if (--index.lock_depth > 0) return 0;
  return LockResult(platform::UnlockRange(index.file.fd(), 0, kWholeFileLength),
                    kErrUnlockFailed);
}

int32_t Database::ReadCount(int32_t* count, int32_t* next_sequence) const {
  uint8_t raw[8];
  if (main.ReadAt(kCountOffset, raw, sizeof raw) != 0) return kErrRecordCount;
  *count = GetI32(raw);
  *next_sequence = GetI32(raw + 4);
  return 0;
}

int32_t MatchIndexFields(const TableLayout& layout, const IndexHeader& header,
                         KeyFormat* format) {
  std::vector<KeyPart> parts;
  int32_t offset = 0;
  for (int i = 0; i < header.field_count; ++i) {
    const rt::Text& name = header.names[static_cast<size_t>(i)];
    const int32_t stored = header.field_types[static_cast<size_t>(i)];
    const FieldDescriptor* field = nullptr;
    for (const FieldDescriptor& f : layout.fields) {
      if (EqualsIgnoringCase(f.name, name)) {
        field = &f;
        break;
      }
    }
    if (field == nullptr) return kErrIndexFieldMissing;
    const bool stored_text = stored < 0;
    if (stored_text != (field->type == kTypeText) ||
        (!stored_text && stored != field->type)) {
      return kErrIndexFieldType;
    }
    if (stored_text && -int64_t{stored} != field->declared) return kErrIndexFieldSize;
    if (field->type == kTypeBytes || field->type == kTypeMemo) return kErrIndexFieldType;
    const int32_t width = FieldWidth(field->type, field->declared);
    parts.push_back({field->type, offset, width, field->offset});
    offset += width;
  }
  if (offset != header.key_size) return kErrNotIndex;
  *format = KeyFormat(std::move(parts), header.key_flags);
  return 0;
}

int32_t IndexFind(Database& db, OpenIndex& index, const uint8_t* key, int32_t min_record,
                  int32_t count, int32_t* record, const BTree::EntryFilter& accept) {
  *record = -1;
  if (int32_t code = db.LockIndex(index); code != 0) return code;
  uint8_t raw[kIndexHeaderSize];
  IndexHeader header;
  int32_t code = RefreshIndex(index, count, raw, &header);
  if (code == 0) {
    BTree tree(index.pager.get(), &index.format, &header);
    // Equal entries lie in record order, so past the count none can be
    // taken any more: the search stops there.
    auto take = [&](int32_t r) { return r >= count || !accept || accept(r); };
    if (tree.FindFrom(key, min_record, record, take) != TreeStatus::kOk) {
      index.pager->Discard();
      code = kErrNotIndex;
    } else {
      // An entry past the record count belongs to an append that never
      // finished; its record is not there.
      if (*record >= count) *record = -1;
      Remember(index, raw, header, count);
    }
  }
  const int32_t unlock = db.UnlockIndex(index);
  return code != 0 ? code : unlock;
}

int32_t IndexInsert(Database& db, OpenIndex& index, const uint8_t* key, int32_t record,
                    int32_t count) {
  if (int32_t code = db.LockIndex(index); code != 0) return code;
  uint8_t raw[kIndexHeaderSize];
  IndexHeader header;
  int32_t code = RefreshIndex(index, count, raw, &header);
  if (code == 0) {
    BTree tree(index.pager.get(), &index.format, &header);
    code = tree.Insert(key, record) == TreeStatus::kOk ? 0 : kErrIndexUpdate;
    if (code == 0 && index.pager->Flush() != 0) code = kErrIndexUpdate;
    uint8_t shape[16];
    PutI32(shape, header.blocks);
    PutI32(shape + 4, header.free_count);
    PutI32(shape + 8, header.first_free);
    PutI32(shape + 12, header.root);
    if (code == 0 && std::memcmp(raw + 24, shape, sizeof shape) != 0) {
      std::memcpy(raw + 24, shape, sizeof shape);
      if (index.file.WriteAt(24, shape, sizeof shape) != 0) code = kErrIndexUpdate;
    }
    if (code == 0) {
      Remember(index, raw, header, count + 1);
    } else {
      index.pager->Discard();
      index.seen_count = -1;
    }
  }
  const int32_t unlock = db.UnlockIndex(index);
  return code != 0 ? code : unlock;
}

}  // namespace recorddb
