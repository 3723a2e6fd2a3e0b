// The record database's error codes, their fixed messages and the calling
// thread's last-error code. Every operation clears the code on entry and
// leaves the code of its failure there; nothing ever throws.
//
// Thread safety: the last-error code is thread-local; DbErrorText is pure.
#ifndef TIEPIC_RECORDDB_ERRORS_H_
#define TIEPIC_RECORDDB_ERRORS_H_

#include <cstdint>

#include "runtime/value.h"

namespace recorddb {

// File errors, mapped from the cause of a failed file call.
inline constexpr int32_t kErrGeneric = -1;
inline constexpr int32_t kErrCreateFailed = -2;
inline constexpr int32_t kErrFileNotFound = -3;
inline constexpr int32_t kErrBadPath = -4;
inline constexpr int32_t kErrTooManyOpenFiles = -5;
inline constexpr int32_t kErrAccessDenied = -6;
inline constexpr int32_t kErrInvalidHandle = -7;
inline constexpr int32_t kErrHardware = -11;
inline constexpr int32_t kErrSharingViolation = -12;
inline constexpr int32_t kErrLockViolation = -13;
inline constexpr int32_t kErrDiskFull = -14;
inline constexpr int32_t kErrEndOfFile = -15;
// Field lists and names.
inline constexpr int32_t kErrNoFields = -16;
inline constexpr int32_t kErrBadFieldType = -17;
inline constexpr int32_t kErrBadFieldName = -18;
inline constexpr int32_t kErrBadFieldSize = -19;
inline constexpr int32_t kErrDuplicateField = -20;
// Opening.
inline constexpr int32_t kErrOpenFailed = -21;
inline constexpr int32_t kErrNotDatabase = -22;
inline constexpr int32_t kErrVersionTooNew = -23;
inline constexpr int32_t kErrBadAlias = -24;
inline constexpr int32_t kErrNotOpen = -27;
inline constexpr int32_t kErrLockFailed = -28;
inline constexpr int32_t kErrUnlockFailed = -29;
inline constexpr int32_t kErrIndexOpenFailed = -30;
inline constexpr int32_t kErrNotIndex = -31;
inline constexpr int32_t kErrIndexVersion = -32;
inline constexpr int32_t kErrIndexAlreadyOpen = -33;
inline constexpr int32_t kErrTooManyIndexes = -34;
inline constexpr int32_t kErrAuxRead = -35;
inline constexpr int32_t kErrAuxVersion = -36;
inline constexpr int32_t kErrNotAux = -37;
inline constexpr int32_t kErrAlreadyOpen = -38;
// Indexes.
inline constexpr int32_t kErrTooManyIndexFields = -39;
inline constexpr int32_t kErrFieldNotFound = -40;
inline constexpr int32_t kErrIndexCreateFailed = -41;
inline constexpr int32_t kErrIndexFieldKind = -42;
inline constexpr int32_t kErrIndexFieldMissing = -43;
inline constexpr int32_t kErrNoMemory = -45;
inline constexpr int32_t kErrFileSize = -48;
inline constexpr int32_t kErrIndexSize = -49;
inline constexpr int32_t kErrAuxCreateFailed = -50;
inline constexpr int32_t kErrIndexFieldSize = -53;
inline constexpr int32_t kErrIndexFieldType = -54;
inline constexpr int32_t kErrKeyTooLarge = -56;
// Records.
inline constexpr int32_t kErrReadRecord = -62;
inline constexpr int32_t kErrIndexUpdate = -64;
inline constexpr int32_t kErrRecordCount = -65;
inline constexpr int32_t kErrNoCurrentDatabase = -67;
inline constexpr int32_t kErrNoCurrentIndex = -69;
inline constexpr int32_t kErrValueType = -72;
inline constexpr int32_t kErrValueCount = -73;

// The calling thread's last-error code: 0 after a success.
int32_t DbLastError();

// The fixed message of `code` (GBK); "未知错误" for a code not in the table.
rt::Text DbErrorText(int32_t code);

// Sets the calling thread's code. Returns false, so that a failing
// operation can end with `return Fail(code);`.
bool Fail(int32_t code);
void ClearLastError();

// Returns true iff `code` says that the contents of a database's files are
// not sound (not a table, an unknown version, fields that do not fit, records
// that cannot be read), as opposed to the file system refusing an access (a
// missing, locked or shared file, denied access, a full disk), after which
// the same files may well open another time.
bool IsDamageCode(int32_t code);

// The code of a failed file call from its errno value.
int32_t FileErrorCode(int errno_value);

}  // namespace recorddb

#endif  // TIEPIC_RECORDDB_ERRORS_H_
