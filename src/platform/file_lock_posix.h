// Byte-range locks and file share modes over POSIX open-file-description
// locks (F_OFD_SETLK). An OFD lock belongs to the open file, not to the
// process, so two opens of one file in the same process exclude each other
// just as two programs do, and closing the file releases its locks.
//
// Locks are tried once and never wait. A lock taken on a descriptor opened
// read-only is a shared lock (POSIX allows no other there); on a read-write
// descriptor it is exclusive.
//
// Share modes have no POSIX counterpart. They are kept cooperatively: every
// opener that goes through ClaimShare holds shared locks on a few bytes far
// beyond any data (at 2^62), one byte each for "opened for reading", "opened
// for writing", "denies reading" and "denies writing", and refuses to open
// when another opener's bytes conflict with its own. Programs that do not
// claim are not held off.
//
// Thread safety: the functions keep no state; locks belong to the file.
#ifndef TIEPIC_PLATFORM_FILE_LOCK_POSIX_H_
#define TIEPIC_PLATFORM_FILE_LOCK_POSIX_H_

#include <cstdint>

namespace platform {

// Locks `length` bytes from `offset`, exclusively when `exclusive` (the
// descriptor must then be writable), else shared. Returns 0 or an errno
// value (EAGAIN when another open file holds a conflicting lock).
int LockRange(int fd, int64_t offset, int64_t length, bool exclusive);

// Releases the lock this open file holds on the range. Returns 0 or errno.
int UnlockRange(int fd, int64_t offset, int64_t length);

// Returns true iff another open file holds a lock that would conflict with
// an exclusive lock on the range (the caller's own locks never conflict).
bool RangeIsLockedByOthers(int fd, int64_t offset, int64_t length);

struct ShareClaim {
  bool reading = true;     // this opener reads
  bool writing = false;    // this opener writes
  bool deny_read = false;  // others may not read while it is open
  bool deny_write = false; // others may not write while it is open
};

// Records `claim` on the open file and checks it against the claims of every
// other open of the same file. Returns 0 when compatible, EBUSY when another
// opener's access or denial conflicts (the claim is then withdrawn), or the
// errno of a failed lock call. The claim lasts until the file is closed.
int ClaimShare(int fd, const ShareClaim& claim);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_FILE_LOCK_POSIX_H_
