// DbCreate: validates a field list and writes a new, empty table. A table
// that could not be written whole is removed again, so that a full disk
// never leaves an empty or half-written file that later opens refuse.
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/file_lock_posix.h"
#include "recorddb/aux_file.h"
#include "recorddb/main_file.h"
#include "recorddb/operations.h"

namespace recorddb {
namespace {

int32_t CheckFields(const std::vector<FieldDescription>& given,
                    std::vector<FieldDescriptor>* fields) {
  for (const FieldDescription& d : given) {
    if (d.name.empty()) break;
    if (!IsValidName(d.name)) return kErrBadFieldName;
    if (d.type < kTypeByte || d.type > kTypeMemo) return kErrBadFieldType;
    if (d.type == kTypeText && (d.size < 1 || d.size > 1024)) return kErrBadFieldSize;
    fields->push_back({d.name, d.type, 0, d.type == kTypeText ? d.size : 0});
  }
  if (fields->empty()) return kErrNoFields;
  for (size_t i = 0; i < fields->size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (EqualsIgnoringCase((*fields)[i].name, (*fields)[j].name)) {
        return kErrDuplicateField;
      }
    }
  }
  return 0;
}

// Opens `path` for replacing: created when missing, claimed with every
// access denied to others, so a file another program has open is refused
// instead of being cut under it. Returns 0 or an error code.
int32_t OpenForReplacing(const rt::Text& path, File* file) {
  if (int err = file->Open(platform::ToUtf8(path), File::Mode::kCreate); err != 0) {
    return FileErrorCode(err);
  }
  platform::ShareClaim all{true, true, true, true};
  if (int err = platform::ClaimShare(file->fd(), all); err != 0) {
    return FileErrorCode(err);
  }
  return 0;
}

// Removes the files of a table whose writing failed: they hold no sound
// table, and the table was being replaced anyway.
void RemoveUnwritten(File& file, const rt::Text& path) {
  file.Close();
  ::unlink(platform::ToUtf8(path).c_str());
}

}  // namespace

bool DbCreate(const rt::Text& file_name, const std::vector<FieldDescription>& given) {
  ClearLastError();
  if (file_name.empty()) return Fail(kErrFileNotFound);
  if (given.empty() || given[0].name.empty()) return Fail(kErrNoFields);
  std::vector<FieldDescriptor> fields;
  if (int32_t code = CheckFields(given, &fields); code != 0) return Fail(code);

  const rt::Text path = WithDefaultExtension(file_name, "EDB");
  File file;
  if (int32_t code = OpenForReplacing(path, &file); code != 0) return Fail(code);
  const double created = OleNow();
  const std::vector<uint8_t> table = EncodeNewTable(fields, created);
  // A failed cut leaves the old table as it was; a failed write leaves
  // nothing worth keeping.
  if (file.Truncate(0) != 0) return Fail(kErrCreateFailed);
  if (file.WriteAt(0, table.data(), table.size()) != 0) {
    RemoveUnwritten(file, path);
    return Fail(kErrCreateFailed);
  }
  bool needs_aux = false;
  for (const FieldDescriptor& f : fields) {
    needs_aux = needs_aux || f.type == kTypeBytes || f.type == kTypeMemo;
  }
  if (!needs_aux) return true;
  File aux;
  const rt::Text aux_path = WithExtension(path, "EDT");
  if (OpenForReplacing(aux_path, &aux) != 0) {
    RemoveUnwritten(file, path);
    return Fail(kErrAuxCreateFailed);
  }
  if (CreateAuxFile(aux, created) != 0) {
    RemoveUnwritten(aux, aux_path);
    RemoveUnwritten(file, path);
    return Fail(kErrAuxCreateFailed);
  }
  return true;
}

}  // namespace recorddb
