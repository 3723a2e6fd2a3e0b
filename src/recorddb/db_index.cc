// DbCreateIndex: builds an index file from every record of the current
// database and makes it the current index.
//
// Design note: the tree is built in memory by the same insertion code that
// updates an index file, one record after another in record order, and the
// file is written once at the end. The bytes are those of inserting into
// the file entry by entry; only the reads and writes of the blocks are
// saved. The build holds the database's header lock, so no record is
// appended meanwhile, and the index file's whole-file lock, so a program
// that has the same index open never sees a half-written tree.
#include <algorithm>
#include <new>

#include "platform/codepage.h"
#include "platform/file_lock_posix.h"
#include "recorddb/operations.h"
#include "recorddb/registry.h"

namespace recorddb {
namespace {

// Step 2: the named fields as an index header's field list and key format.
int32_t CheckIndexFields(const Database& db, const std::vector<rt::Text>& names,
                         IndexHeader* header, KeyFormat* format) {
  std::vector<KeyPart> parts;
  int32_t key_size = 0;
  for (const rt::Text& name : names) {
    if (name.empty()) return kErrBadFieldName;
    const FieldDescriptor* field = nullptr;
    for (const FieldDescriptor& f : db.layout.fields) {
      if (EqualsIgnoringCase(f.name, name)) field = &f;
    }
    if (field == nullptr) return kErrFieldNotFound;
    if (field->type == kTypeBytes || field->type == kTypeMemo) return kErrIndexFieldKind;
    const size_t i = parts.size();
    for (size_t j = 0; j < i; ++j) {
      if (EqualsIgnoringCase(header->names[j], field->name)) return kErrDuplicateField;
    }
    const int32_t width = FieldWidth(field->type, field->declared);
    header->names[i] = field->name;
    header->field_types[i] = field->type == kTypeText ? -field->declared : field->type;
    parts.push_back({field->type, key_size, width, field->offset});
    key_size += width;
  }
  if (key_size > kMaxKeySize) return kErrKeyTooLarge;
  if (parts.empty()) return kErrNoFields;
  header->field_count = static_cast<int32_t>(parts.size());
  header->key_size = key_size;
  *format = KeyFormat(std::move(parts), header->key_flags);
  return 0;
}

// Step 4: the whole index in memory, inserted record by record.
int32_t BuildTree(const Database& db, const KeyFormat& format, IndexHeader* header,
                  std::vector<uint8_t>* file_bytes) {
  int32_t count, next;
  if (db.ReadCount(&count, &next) != 0) return kErrRecordCount;
  if (count < 0) count = 0;
  const int64_t rs = db.layout.header.record_size;
  const int64_t batch = std::max<int64_t>(1, 163840 / rs);
  MemoryPager pager(header->block_size);
  BTree tree(&pager, &format, header);
  std::vector<uint8_t> records, key(static_cast<size_t>(format.size()));
  try {
    records.resize(static_cast<size_t>(std::min<int64_t>(batch, std::max(count, 1)) * rs));
    for (int64_t start = 0; start < count; start += batch) {
      const int64_t n = std::min<int64_t>(batch, count - start);
      if (db.main.ReadAt(db.layout.data_start + start * rs, records.data(),
                         static_cast<size_t>(n * rs)) != 0) {
        return kErrReadRecord;
      }
      for (int64_t i = 0; i < n; ++i) {
        format.Extract(records.data() + i * rs, key.data());
        if (tree.Insert(key.data(), static_cast<int32_t>(start + i)) != TreeStatus::kOk) {
          return kErrIndexCreateFailed;
        }
      }
    }
    std::vector<uint8_t> blocks = pager.Serialize(header->blocks);
    file_bytes->assign(static_cast<size_t>(header->block_size), 0);
    EncodeIndexHeader(*header, file_bytes->data());
    file_bytes->insert(file_bytes->end(), blocks.begin(), blocks.end());
  } catch (const std::bad_alloc&) {
    return kErrNoMemory;
  }
  return 0;
}

// Returns 0 when the freshly opened `file` may be cut to hold a new index,
// else an error code: it must be none of the files of a database open here,
// and no database anywhere may have it open. Every database open claims its
// main file, so claiming the file with every access denied to others is
// refused then; index files are opened without a claim, so an index another
// program has open can still be rebuilt. The claim ends when `file` closes.
int32_t CheckReplaceable(const Registry& registry, const Database& db, const File& file) {
  // Named after the database's own files, the index would cut them.
  if (SameFile(file, db.main) || SameFile(file, db.aux)) return kErrIndexCreateFailed;
  for (const auto& other : registry.open) {
    if (SameFile(file, other->main) || SameFile(file, other->aux)) {
      return kErrSharingViolation;
    }
  }
  platform::ShareClaim all{true, true, true, true};
  if (int err = platform::ClaimShare(file.fd(), all); err != 0) return FileErrorCode(err);
  return 0;
}

// Step 3 to 5 for a checked field list: writes the file and attaches it.
int32_t WriteIndex(const Registry& registry, Database& db, const rt::Text& path,
                   IndexHeader header, const KeyFormat& format) {
  auto index = std::make_unique<OpenIndex>();
  index->path = FullPath(path);
  index->format = format;
  const std::string utf8 = platform::ToUtf8(path);
  if (int err = index->file.Open(utf8, File::Mode::kCreate); err != 0) {
    return FileErrorCode(err);
  }
  if (int32_t code = CheckReplaceable(registry, db, index->file); code != 0) return code;
  if (int32_t code = db.LockIndex(*index); code != 0) return code;
  std::vector<uint8_t> bytes;
  int32_t code = BuildTree(db, format, &header, &bytes);
  if (code == 0) {
    if (int err = index->file.Truncate(0); err != 0) code = FileErrorCode(err);
  }
  if (code == 0) {
    if (int err = index->file.WriteAt(0, bytes.data(), bytes.size()); err != 0) {
      code = FileErrorCode(err);
    }
  }
  const int32_t unlock = db.UnlockIndex(*index);
  if (code != 0) return code;
  if (unlock != 0) return unlock;
  // Reopened as an ordinary index of the database, sharing everything.
  index->file.Close();
  if (index->file.Open(utf8, File::Mode::kReadWrite) != 0) return kErrIndexCreateFailed;
  index->header = header;
  index->pager = std::make_unique<FilePager>(&index->file, header.block_size);
  db.indexes.push_back(std::move(index));
  db.current_index = static_cast<int>(db.indexes.size()) - 1;
  return 0;
}

}  // namespace

bool DbCreateIndex(const rt::Text& index_file, const std::vector<rt::Text>& fields,
                   const DbIndexOptions& options) {
  ClearLastError();
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  Database* db = registry.Current();
  if (db == nullptr) return Fail(kErrNoCurrentDatabase);
  if (!db->main.is_open()) return Fail(kErrNotOpen);
  // Building an index that is open already replaces it.
  rt::Text path;
  int replaced = -1;
  if (!index_file.empty()) {
    path = WithDefaultExtension(index_file, "ENX");
    if (FolderOf(path).empty()) path = FolderOf(db->path) + path;
    const rt::Text full = FullPath(path);
    for (size_t i = 0; i < db->indexes.size(); ++i) {
      if (EqualsIgnoringCase(db->indexes[i]->path, full)) replaced = static_cast<int>(i);
    }
  }
  if (replaced < 0 && db->indexes.size() >= kMaxOpenIndexes) {
    return Fail(kErrTooManyIndexes);
  }
  if (index_file.empty()) return Fail(kErrFileNotFound);
  if (fields.size() > kMaxIndexFields) return Fail(kErrTooManyIndexFields);

  IndexHeader header;
  header.version = db->layout.header.version;
  header.created = OleNow();
  header.collation = options.collation == 2 ? 1 : (options.collation == 3 ? 2 : 0);
  header.key_flags = options.key_flags & 3;
  header.block_size = 512 * std::clamp(options.block_factor, 1, 10);
  KeyFormat format;
  if (int32_t code = CheckIndexFields(*db, fields, &header, &format); code != 0) {
    return Fail(code);
  }

  if (replaced >= 0) {
    db->indexes.erase(db->indexes.begin() + replaced);
    if (db->current_index == replaced) {
      db->current_index = -1;
    } else if (db->current_index > replaced) {
      --db->current_index;
    }
  }
  if (int32_t code = db->Lock(kCountOffset); code != 0) return Fail(code);
  const int32_t code = WriteIndex(registry, *db, path, header, format);
  const int32_t unlock = db->Unlock(kCountOffset);
  if (code != 0) return Fail(code);
  if (unlock != 0) return Fail(unlock);
  return true;
}

}  // namespace recorddb
