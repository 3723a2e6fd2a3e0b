// Whole-line appends over POSIX files: O_APPEND (read-write, for the look
// at the last byte), an flock around that look and the write, and a write
// loop for short writes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/append_file.h"

namespace platform {
namespace {

// Returns true iff the non-empty file `fd` of `size` bytes ends in '\n'.
bool EndsInLineFeed(int fd, off_t size) {
  char last = 0;
  return ::pread(fd, &last, 1, size - 1) == 1 && last == '\n';
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool AppendLine(const std::string& path, std::string_view line) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool written = false;
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    std::string bytes;
    bytes.reserve(line.size() + 2);
    if (st.st_size > 0 && !EndsInLineFeed(fd, st.st_size)) bytes.push_back('\n');
    bytes.append(line);
    bytes.push_back('\n');
    written = WriteAll(fd, bytes);
  }
  ::close(fd);  // also drops the lock
  return written;
}

}  // namespace platform
