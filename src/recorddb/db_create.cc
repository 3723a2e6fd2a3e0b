// DbCreate: validates a field list and writes a new, empty table.
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
  if (file.Truncate(0) != 0 || file.WriteAt(0, table.data(), table.size()) != 0) {
    return Fail(kErrCreateFailed);
  }
  bool needs_aux = false;
  for (const FieldDescriptor& f : fields) {
    needs_aux = needs_aux || f.type == kTypeBytes || f.type == kTypeMemo;
  }
  if (!needs_aux) return true;
  File aux;
  if (OpenForReplacing(WithExtension(path, "EDT"), &aux) != 0 ||
      CreateAuxFile(aux, created) != 0) {
    return Fail(kErrAuxCreateFailed);
  }
  return true;
}

}  // namespace recorddb
