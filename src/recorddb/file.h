// A file of the record database: an owned descriptor with positioned reads
// and writes that report errno, plus the name helpers the operations use on
// GBK paths (extension, folder, title, full path).
//
// Thread safety: a File is used by one thread at a time.
#ifndef TIEPIC_RECORDDB_FILE_H_
#define TIEPIC_RECORDDB_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/value.h"

namespace recorddb {

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  enum class Mode { kRead, kReadWrite, kCreate };

  // Opens `utf8_path`; kCreate makes the file when missing but never cuts
  // it (the caller truncates after claiming it). Returns 0 or errno.
  int Open(const std::string& utf8_path, Mode mode);
  void Close();

  bool is_open() const { return fd_ >= 0; }
  bool writable() const { return writable_; }
  int fd() const { return fd_; }

  // Reads exactly `size` bytes at `offset`. Returns 0, errno, or -1 when
  // the file ends first.
  int ReadAt(int64_t offset, void* out, size_t size) const;
  // Reads up to `size` bytes; returns the count read, or -errno.
  int64_t ReadSomeAt(int64_t offset, void* out, size_t size) const;
  // Writes all `size` bytes at `offset`. Returns 0 or errno.
  int WriteAt(int64_t offset, const void* data, size_t size) const;
  // The file's length, or -errno.
  int64_t Size() const;
  // Returns 0 or errno.
  int Truncate(int64_t length) const;

 private:
  int fd_ = -1;
  bool writable_ = false;
};

// Returns true iff both files are open and are the same file on disk.
bool SameFile(const File& a, const File& b);

// Returns true iff the last component of `path` (after the last '/') has a
// '.'; '/' and '.' are never trail bytes of a GBK character.
bool HasExtension(const rt::Text& path);
// `path` with ".<ext>" added when it has no extension.
rt::Text WithDefaultExtension(const rt::Text& path, const char* ext);
// `path` with its extension replaced by `ext` (added when it has none).
rt::Text WithExtension(const rt::Text& path, const char* ext);
// The folder part with its final '/', or "" when there is none.
rt::Text FolderOf(const rt::Text& path);
// The name without folder and extension.
rt::Text TitleOf(const rt::Text& path);
// An absolute, lexically normal form of `path` (GBK in, GBK out).
rt::Text FullPath(const rt::Text& path);
// Returns true iff the texts are equal ignoring the case of ASCII letters.
bool EqualsIgnoringCase(const rt::Text& a, const rt::Text& b);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_FILE_H_
