// DbRewind, DbFind and DbAppend: the record operations on the current
// database.
//
// An append writes the record first, then its index entries, then the
// header's count and sequence number, all under the header-byte lock. A
// program killed in between leaves either a partial record past the count,
// which the next read-write open cuts off, or a whole one, which that open
// keeps by raising the count.
#include <cstring>

#include "recorddb/aux_file.h"
#include "recorddb/coding.h"
#include "recorddb/operations.h"
#include "recorddb/registry.h"

namespace recorddb {
namespace {

// The record of `values` (missing ones zero), sequence number still 0.
// Byte arrays and memo texts are only checked here; their contents go to
// the auxiliary file under the lock. Returns 0 or -72.
int32_t EncodeRecord(const TableLayout& layout, const std::vector<rt::Value>& values,
                     std::vector<uint8_t>* record) {
  record->assign(static_cast<size_t>(layout.header.record_size), 0);
  if (values.size() > layout.fields.size()) return kErrValueType;
  for (size_t i = 0; i < values.size(); ++i) {
    const FieldDescriptor& f = layout.fields[i];
    const rt::Value& v = values[i];
    if (std::holds_alternative<std::monostate>(v)) continue;
    if (f.type == kTypeBytes) {
      if (!std::holds_alternative<rt::Bytes>(v)) return kErrValueType;
    } else if (f.type == kTypeMemo) {
      if (!std::holds_alternative<rt::Text>(v)) return kErrValueType;
    } else if (!EncodeFieldValue(v, f.type, FieldWidth(f.type, f.declared),
                                 record->data() + f.offset)) {
      return kErrValueType;
    }
  }
  return 0;
}

int32_t StoreAuxValues(const Database& db, const std::vector<rt::Value>& values,
                       uint8_t* record) {
  for (size_t i = 0; i < values.size(); ++i) {
    const FieldDescriptor& f = db.layout.fields[i];
    if (f.type != kTypeBytes && f.type != kTypeMemo) continue;
    std::string_view bytes;
    if (const auto* b = std::get_if<rt::Bytes>(&values[i])) {
      bytes = {reinterpret_cast<const char*>(b->data()), b->size()};
    } else if (const auto* t = std::get_if<rt::Text>(&values[i])) {
      bytes = *t;
    }
    int32_t reference = 0;
    if (int32_t code = AppendAuxValue(db.aux, bytes, &reference); code != 0) return code;
    PutI32(record + f.offset, reference);
  }
  return 0;
}

// Writes the record into slot `count` and its entries into every open
// index, then raises the header. On failure the slot is cut off again, so
// a failed append leaves no record behind for the next open to keep.
int32_t WriteRecord(Database& db, int32_t count, int32_t sequence,
                    const std::vector<rt::Value>& values, std::vector<uint8_t>& record) {
  const int64_t rs = db.layout.header.record_size;
  const int64_t slot = db.layout.data_start + int64_t{count} * rs;
  PutI32(record.data(), sequence);
  int32_t code = StoreAuxValues(db, values, record.data());
  if (code == 0) {
    if (int err = db.main.WriteAt(slot, record.data(), record.size()); err != 0) {
      code = FileErrorCode(err);
    }
  }
  std::vector<uint8_t> key;
  for (size_t i = 0; code == 0 && i < db.indexes.size(); ++i) {
    OpenIndex& index = *db.indexes[i];
    key.resize(static_cast<size_t>(index.format.size()));
    index.format.Extract(record.data(), key.data());
    code = IndexInsert(db, index, key.data(), count, count);
  }
  if (code == 0) {
    uint8_t header[8];
    PutI32(header, count + 1);
    PutI32(header + 4, sequence == INT32_MAX ? sequence : sequence + 1);
    if (int err = db.main.WriteAt(kCountOffset, header, sizeof header); err != 0) {
      code = FileErrorCode(err);
    }
  }
  if (code != 0) db.main.Truncate(slot);
  return code;
}

// The first record numbered `from` or above, below `count`, that the index
// lists under `key` and whose stored fields give that key; -1 when none.
// An append that failed after updating one index leaves that index an
// entry for a record slot that is empty or later reused with other fields;
// such an entry is passed over, within the same walk of the index.
// REQUIRES: the header-byte lock held.
int32_t FindStoredRecord(Database& db, OpenIndex& index, const uint8_t* key, int32_t from,
                         int32_t count, int32_t* record) {
  const int64_t rs = db.layout.header.record_size;
  std::vector<uint8_t> stored(static_cast<size_t>(rs));
  std::vector<uint8_t> stored_key(static_cast<size_t>(index.format.size()));
  bool read_failed = false;
  auto holds_key = [&](int32_t r) {
    if (db.main.ReadAt(db.layout.data_start + int64_t{r} * rs, stored.data(),
                       stored.size()) != 0) {
      read_failed = true;
      return true;  // stop; reported below
    }
    index.format.Extract(stored.data(), stored_key.data());
    return index.format.Compare(stored_key.data(), key) == 0;
  };
  const int32_t code = IndexFind(db, index, key, from, count, record, holds_key);
  if (code != 0) return code;
  return read_failed ? kErrReadRecord : 0;
}

}  // namespace

bool DbRewind() {
  ClearLastError();
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  Database* db = registry.Current();
  if (db == nullptr) return Fail(kErrNoCurrentDatabase);
  db->position = 0;
  return true;
}

bool DbFind(const std::vector<rt::Value>& values) {
  ClearLastError();
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  Database* db = registry.Current();
  if (db == nullptr) return Fail(kErrNoCurrentDatabase);
  if (db->current_index < 0) return Fail(kErrNoCurrentIndex);
  OpenIndex& index = *db->indexes[static_cast<size_t>(db->current_index)];
  const auto& parts = index.format.parts();
  if (values.size() != parts.size()) return Fail(kErrValueCount);
  std::vector<uint8_t> key(static_cast<size_t>(index.format.size()));
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!EncodeFieldValue(values[i], parts[i].type, parts[i].width,
                          key.data() + parts[i].offset)) {
      return Fail(kErrValueType);
    }
  }
  if (int32_t code = db->Lock(kCountOffset); code != 0) return Fail(code);
  int32_t count = 0, next = 0, record = -1;
  int32_t code = db->ReadCount(&count, &next);
  if (code == 0) {
    code = FindStoredRecord(*db, index, key.data(), db->position, count, &record);
  }
  const int32_t unlock = db->Unlock(kCountOffset);
  if (code != 0) return Fail(code);
  if (unlock != 0) return Fail(unlock);
  if (record < 0) return false;
  db->position = record;
  return true;
}

bool DbAppend(const std::vector<rt::Value>& values) {
  ClearLastError();
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  Database* db = registry.Current();
  if (db == nullptr) return Fail(kErrNoCurrentDatabase);
  std::vector<uint8_t> record;
  if (int32_t code = EncodeRecord(db->layout, values, &record); code != 0) {
    return Fail(code);
  }
  if (db->read_only) return Fail(kErrAccessDenied);
  if (int32_t code = db->Lock(kCountOffset); code != 0) return Fail(code);
  int32_t count = 0, sequence = 0;
  int32_t code = db->ReadCount(&count, &sequence);
  if (count < 0) count = 0;
  if (sequence < 1) sequence = 1;
  if (code == 0 && count == INT32_MAX) code = kErrDiskFull;
  const int64_t slot =
      db->layout.data_start + int64_t{count} * db->layout.header.record_size;
  if (code == 0) code = db->Lock(slot);
  if (code == 0) {
    code = WriteRecord(*db, count, sequence, values, record);
    if (code == 0) db->position = count;
    const int32_t unlock = db->Unlock(slot);
    if (code == 0) code = unlock;
  }
  const int32_t unlock = db->Unlock(kCountOffset);
  if (code != 0) return Fail(code);
  if (unlock != 0) return Fail(unlock);
  return true;
}

}  // namespace recorddb
