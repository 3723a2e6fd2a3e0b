// DbSetAside: moves a damaged database's files out of the way under a
// suffix of the caller's, so that a new one can take their names while the
// old bytes stay where someone can look at them.
//
// Design note: each file is moved with a rename that refuses to replace an
// existing name (falling back to a hard link and an unlink where the file
// system has no such rename), rather than looking for a free name and then
// renaming: two programs setting aside at the same moment can then never
// write over each other's copy.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/codepage.h"
#include "recorddb/file.h"
#include "recorddb/operations.h"

namespace recorddb {
namespace {

bool Exists(const std::string& utf8_path) {
  struct stat st;
  return ::lstat(utf8_path.c_str(), &st) == 0;
}

// Renames `from` to `to` unless `to` exists. Returns 0 or errno (EEXIST
// when `to` is taken).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

// The suffix for attempt `n` (from 1): "SUFFIX", then "SUFFIX-2", ...
rt::Text Numbered(const rt::Text& suffix, int n) {
  return n == 1 ? "." + suffix : "." + suffix + "-" + std::to_string(n);
}

}  // namespace

bool DbSetAside(const rt::Text& file_name, const rt::Text& index_file, const rt::Text& suffix,
                rt::Text* moved_to) {
  ClearLastError();
  if (file_name.empty()) return Fail(kErrFileNotFound);
  const rt::Text main = WithDefaultExtension(file_name, "EDB");
  std::vector<rt::Text> others = {WithExtension(main, "EDT")};
  if (!index_file.empty()) {
    rt::Text index = WithDefaultExtension(index_file, "ENX");
    if (FolderOf(index).empty()) index = FolderOf(main) + index;
    others.push_back(index);
  }
  const std::string from = platform::ToUtf8(main);
  constexpr int kMostCopies = 1000;
  for (int n = 1; n <= kMostCopies; ++n) {
    const rt::Text tail = Numbered(suffix, n);
    bool taken = false;
    for (const rt::Text& other : others) taken = taken || Exists(platform::ToUtf8(other + tail));
    if (taken) continue;
    if (int err = RenameNoReplace(from, platform::ToUtf8(main + tail)); err != 0) {
      if (err == EEXIST) continue;
      return Fail(FileErrorCode(err));
    }
    *moved_to = main + tail;
    // The companions follow under the same suffix; one that cannot be moved
    // stays, to be replaced by the new database's own.
    for (const rt::Text& other : others) {
      const std::string path = platform::ToUtf8(other);
      if (Exists(path)) RenameNoReplace(path, platform::ToUtf8(other + tail));
    }
    return true;
  }
  return Fail(kErrFileNotFound);
}

}  // namespace recorddb
