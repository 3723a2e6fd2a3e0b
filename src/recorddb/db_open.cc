// DbOpen and DbClose, and the process-wide list of open databases.
//
// Opening checks and repairs in a fixed order (header, descriptors, record
// count and length, auxiliary file, named indexes) while holding the whole
// main file locked, so that no other program appends during the repair.
#include <cstring>

#include "platform/codepage.h"
#include "platform/file_lock_posix.h"
#include "recorddb/aux_file.h"
#include "recorddb/operations.h"
#include "recorddb/registry.h"

namespace recorddb {

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

namespace {

int32_t OpenAux(Database& db, const rt::Text& path) {
  bool needs_aux = false;
  for (const FieldDescriptor& f : db.layout.fields) {
    needs_aux = needs_aux || f.type == kTypeBytes || f.type == kTypeMemo;
  }
  if (!needs_aux) return 0;
  const auto mode = db.read_only ? File::Mode::kRead : File::Mode::kReadWrite;
  if (db.aux.Open(platform::ToUtf8(WithExtension(path, "EDT")), mode) != 0) {
    return kErrAuxRead;
  }
  return CheckAuxFile(db.aux, db.layout.header.version, db.read_only);
}

// Opens one index named at open and attaches it to `db`.
int32_t AttachNamedIndex(Database& db, const rt::Text& name) {
  if (db.indexes.size() >= kMaxOpenIndexes) return kErrTooManyIndexes;
  rt::Text path = WithDefaultExtension(name, "ENX");
  if (FolderOf(path).empty()) path = FolderOf(db.path) + path;
  auto index = std::make_unique<OpenIndex>();
  index->path = FullPath(path);
  for (const auto& open : db.indexes) {
    if (EqualsIgnoringCase(open->path, index->path)) return kErrIndexAlreadyOpen;
  }
  const auto mode = db.read_only ? File::Mode::kRead : File::Mode::kReadWrite;
  if (index->file.Open(platform::ToUtf8(path), mode) != 0) {
    return kErrIndexOpenFailed;
  }
  for (const auto& open : db.indexes) {
    if (SameFile(open->file, index->file)) return kErrIndexAlreadyOpen;
  }
  uint8_t raw[kIndexHeaderSize];
  if (index->file.ReadAt(0, raw, sizeof raw) != 0 || std::memcmp(raw, "WENX", 4) != 0) {
    return kErrNotIndex;
  }
  DecodeIndexHeader(raw, &index->header);
  const int64_t size = index->file.Size();
  if (int32_t code = CheckIndexHeader(index->header, size < 0 ? 0 : size,
                                      db.layout.header.version);
      code != 0) {
    return code;
  }
  if (int32_t code = MatchIndexFields(db.layout, index->header, &index->format);
      code != 0) {
    return code;
  }
  index->pager = std::make_unique<FilePager>(&index->file, index->header.block_size);
  db.indexes.push_back(std::move(index));
  return 0;
}

// Steps 4 to 6 of opening, run under the whole-file lock.
int32_t CheckAndRepair(Database& db, const rt::Text& path,
                       const std::vector<rt::Text>& index_files) {
  if (int32_t code = ReadTableLayout(db.main, &db.layout); code != 0) return code;
  const int64_t physical = CountWholeRecords(db.main, db.layout);
  if (physical < 0) return kErrFileSize;
  if (db.read_only) {
    if (physical < db.layout.header.count) return kErrFileSize;
  } else if (int32_t code = RepairRecordCount(db.main, &db.layout, physical); code != 0) {
    return code;
  }
  if (int32_t code = OpenAux(db, path); code != 0) return code;
  for (const rt::Text& name : index_files) {
    if (name.empty()) continue;
    if (int32_t code = AttachNamedIndex(db, name); code != 0) return code;
  }
  if (!db.indexes.empty()) db.current_index = 0;
  return 0;
}

}  // namespace

bool DbOpen(const rt::Text& file_name, const DbOpenOptions& options) {
  ClearLastError();
  if (file_name.empty()) return Fail(kErrFileNotFound);
  if (!options.alias.empty() && !IsValidName(options.alias)) return Fail(kErrBadAlias);
  const rt::Text path = WithDefaultExtension(file_name, "EDB");
  auto db = std::make_unique<Database>();
  db->path = path;
  db->full_path = FullPath(path);
  db->title = TitleOf(path);
  db->alias = options.alias;
  db->read_only = options.read_only == 1;
  const int32_t share =
      options.share_mode >= 2 && options.share_mode <= 4 ? options.share_mode : 1;

  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  for (const auto& open : registry.open) {
    if (EqualsIgnoringCase(open->full_path, db->full_path)) return Fail(kErrAlreadyOpen);
  }
  const auto mode = db->read_only ? File::Mode::kRead : File::Mode::kReadWrite;
  if (int err = db->main.Open(platform::ToUtf8(path), mode); err != 0) {
    return Fail(FileErrorCode(err));
  }
  for (const auto& open : registry.open) {
    if (SameFile(open->main, db->main)) return Fail(kErrAlreadyOpen);
  }
  platform::ShareClaim claim{true, !db->read_only, share == 2 || share == 4,
                             share == 3 || share == 4};
  if (int err = platform::ClaimShare(db->main.fd(), claim); err != 0) {
    return Fail(FileErrorCode(err));
  }
  db->no_locks = share == 2 || share == 4;
  if (int32_t code = db->LockWholeFile(); code != 0) return Fail(code);
  const int32_t code = CheckAndRepair(*db, path, options.index_files);
  const int32_t unlock = db->UnlockWholeFile();
  if (code != 0) return Fail(code);
  if (unlock != 0) return Fail(unlock);
  db->position = 0;
  registry.open.push_back(std::move(db));
  registry.current = static_cast<int>(registry.open.size()) - 1;
  return true;
}

bool DbClose(const std::optional<rt::Text>& name) {
  ClearLastError();
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  int which = -1;
  if (!name.has_value()) {
    if (registry.Current() == nullptr) return true;
    which = registry.current;
  } else {
    const rt::Text full = FullPath(WithDefaultExtension(*name, "EDB"));
    for (size_t i = 0; i < registry.open.size() && which < 0; ++i) {
      const Database& db = *registry.open[i];
      if ((!db.alias.empty() && EqualsIgnoringCase(db.alias, *name)) ||
          EqualsIgnoringCase(db.title, *name) || EqualsIgnoringCase(db.full_path, *name) ||
          EqualsIgnoringCase(db.full_path, full)) {
        which = static_cast<int>(i);
      }
    }
    if (which < 0) return Fail(kErrNotOpen);
  }
  registry.open.erase(registry.open.begin() + which);
  if (which == registry.current) {
    registry.current = -1;
  } else if (which < registry.current) {
    --registry.current;
  }
  return true;
}

void DbCloseAll() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  registry.open.clear();
  registry.current = -1;
}

int32_t DbCurrentPosition() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  const Database* db = registry.Current();
  return db ? db->position : -1;
}

bool DbPeekTable(const rt::Text& file_name, std::vector<FieldDescription>* fields,
                 int32_t* record_size, TableCounts* counts) {
  ClearLastError();
  if (file_name.empty()) return Fail(kErrFileNotFound);
  File file;
  const rt::Text path = WithDefaultExtension(file_name, "EDB");
  if (int err = file.Open(platform::ToUtf8(path), File::Mode::kRead); err != 0) {
    return Fail(FileErrorCode(err));
  }
  TableLayout layout;
  if (int32_t code = ReadTableLayout(file, &layout); code != 0) return Fail(code);
  fields->clear();
  for (const FieldDescriptor& f : layout.fields) fields->push_back({f.name, f.type, f.declared});
  *record_size = layout.header.record_size;
  if (counts) {
    const int64_t size = file.Size();
    counts->counted = layout.header.count;
    counts->held = layout.header.record_size > 0 && size > layout.data_start
                       ? (size - layout.data_start) / layout.header.record_size
                       : 0;
  }
  return true;
}

int DbOpenCount() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  return static_cast<int>(registry.open.size());
}

}  // namespace recorddb
