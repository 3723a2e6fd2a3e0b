// OFD locks for byte ranges and the cooperative share-mode claims.
#include "platform/file_lock_posix.h"

#include <errno.h>
#include <fcntl.h>

namespace platform {
namespace {

// The claim bytes lie far beyond any offset a data lock can reach.
constexpr int64_t kShareBase = int64_t{1} << 62;
constexpr int64_t kReadingByte = kShareBase;
constexpr int64_t kWritingByte = kShareBase + 1;
constexpr int64_t kDenyReadByte = kShareBase + 2;
constexpr int64_t kDenyWriteByte = kShareBase + 3;

int SetLock(int fd, short type, int64_t offset, int64_t length) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = length;
  fl.l_pid = 0;  // required to be zero for OFD locks
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
    if (errno != EINTR) return errno == EACCES ? EAGAIN : errno;
  }
  return EINTR;
}

}  // namespace

int LockRange(int fd, int64_t offset, int64_t length, bool exclusive) {
  return SetLock(fd, exclusive ? F_WRLCK : F_RDLCK, offset, length);
}

int UnlockRange(int fd, int64_t offset, int64_t length) {
  return SetLock(fd, F_UNLCK, offset, length);
}

bool RangeIsLockedByOthers(int fd, int64_t offset, int64_t length) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = length;
  fl.l_pid = 0;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;  // cannot tell: assume held
  return fl.l_type != F_UNLCK;
}

// The claim is taken first and checked afterwards, so of two openers racing
// with conflicting claims at least one sees the other; both may refuse, but
// both never succeed.
int ClaimShare(int fd, const ShareClaim& claim) {
  const int64_t mine[] = {claim.reading ? kReadingByte : -1,
                          claim.writing ? kWritingByte : -1,
                          claim.deny_read ? kDenyReadByte : -1,
                          claim.deny_write ? kDenyWriteByte : -1};
  auto withdraw = [&] {
    for (int64_t b : mine) {
      if (b >= 0) UnlockRange(fd, b, 1);
    }
  };
  for (int64_t b : mine) {
    if (b < 0) continue;
    if (int err = LockRange(fd, b, 1, false); err != 0) {
      withdraw();
      return err;
    }
  }
  const bool conflict =
      (claim.reading && RangeIsLockedByOthers(fd, kDenyReadByte, 1)) ||
      (claim.writing && RangeIsLockedByOthers(fd, kDenyWriteByte, 1)) ||
      (claim.deny_read && RangeIsLockedByOthers(fd, kReadingByte, 1)) ||
      (claim.deny_write && RangeIsLockedByOthers(fd, kWritingByte, 1));
  if (conflict) {
    withdraw();
    return EBUSY;
  }
  return 0;
}

}  // namespace platform
