// Descriptor wrapper and GBK path helpers of the record database.
#include "recorddb/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/codepage.h"

namespace recorddb {

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(other.fd_), writable_(other.writable_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    writable_ = other.writable_;
    other.fd_ = -1;
  }
  return *this;
}

int File::Open(const std::string& utf8_path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kCreate:
      flags |= O_RDWR | O_CREAT;
      break;
  }
  int fd;
  do {
    fd = ::open(utf8_path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return EACCES;  // a folder or device is no database file
  }
  fd_ = fd;
  writable_ = mode != Mode::kRead;
  return 0;
}

void File::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int64_t File::ReadSomeAt(int64_t offset, void* out, size_t size) const {
  size_t done = 0;
  auto* p = static_cast<char*>(out);
  while (done < size) {
    ssize_t n = ::pread(fd_, p + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int File::ReadAt(int64_t offset, void* out, size_t size) const {
  int64_t n = ReadSomeAt(offset, out, size);
  if (n < 0) return static_cast<int>(-n);
  return static_cast<size_t>(n) == size ? 0 : -1;
}

int File::WriteAt(int64_t offset, const void* data, size_t size) const {
  size_t done = 0;
  auto* p = static_cast<const char*>(data);
  while (done < size) {
    ssize_t n =
        ::pwrite(fd_, p + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int64_t File::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return -errno;
  return st.st_size;
}

int File::Truncate(int64_t length) const {
  while (::ftruncate(fd_, length) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

bool SameFile(const File& a, const File& b) {
  struct stat sa, sb;
  return a.is_open() && b.is_open() && ::fstat(a.fd(), &sa) == 0 &&
         ::fstat(b.fd(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool HasExtension(const rt::Text& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  return dot != rt::Text::npos && (slash == rt::Text::npos || dot > slash);
}

rt::Text WithDefaultExtension(const rt::Text& path, const char* ext) {
  return HasExtension(path) ? path : path + "." + ext;
}

rt::Text WithExtension(const rt::Text& path, const char* ext) {
  if (!HasExtension(path)) return path + "." + ext;
  return path.substr(0, path.rfind('.') + 1) + ext;
}

rt::Text FolderOf(const rt::Text& path) {
  size_t slash = path.rfind('/');
  return slash == rt::Text::npos ? rt::Text() : path.substr(0, slash + 1);
}

rt::Text TitleOf(const rt::Text& path) {
  size_t slash = path.rfind('/');
  rt::Text name = slash == rt::Text::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == rt::Text::npos ? name : name.substr(0, dot);
}

rt::Text FullPath(const rt::Text& path) {
  std::error_code ec;
  std::filesystem::path p(platform::ToUtf8(path));
  std::filesystem::path full = std::filesystem::absolute(p, ec);
  if (ec) full = p;
  return platform::FromUtf8(full.lexically_normal().string());
}

bool EqualsIgnoringCase(const rt::Text& a, const rt::Text& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80) {
      // A double-byte character compares as it stands.
      if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace recorddb
