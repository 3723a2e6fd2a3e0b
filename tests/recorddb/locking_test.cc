// Locks between open files: the header and record bytes, the whole-file
// locks, share modes, and two programs working on one database at once,
// including one killed at a random moment while appending.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "platform/file_lock_posix.h"
#include "recorddb/inspect.h"
#include "test_util.h"

namespace recorddb_test {
namespace {

using namespace recorddb;

// An open of the file by "another program": its own open file description.
class OtherOpen {
 public:
  explicit OtherOpen(const std::string& path) : fd_(::open(path.c_str(), O_RDWR)) {}
  ~OtherOpen() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Waits for a child for up to `seconds`, killing it after that. Returns its
// exit status, or -1 when it had to be killed.
int WaitBounded(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `op` until it succeeds or fails with something other than a lock
// conflict, at most `tries` times. Returns true iff it succeeded.
template <typename Op>
bool RetryOnLockConflict(Op op, int tries = 4000) {
  for (int i = 0; i < tries; ++i) {
    if (op()) return true;
    if (DbLastError() != kErrLockFailed) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200 + i % 7 * 100));
  }
  return false;
}

class Locking : public TempFolderTest {};

TEST(FileLock, TwoOpensOfOneFileExcludeEachOtherUntilUnlockOrClose) {
  char name[] = "/tmp/tiepic-lock-XXXXXX";
  int a = ::mkstemp(name);
  ASSERT_GE(a, 0);
  int b = ::open(name, O_RDWR);
  ASSERT_GE(b, 0);
  EXPECT_EQ(platform::LockRange(a, 16, 1, true), 0);
  EXPECT_EQ(platform::LockRange(a, 16, 1, true), 0);  // its own lock is no conflict
  EXPECT_EQ(platform::LockRange(b, 16, 1, true), EAGAIN);
  EXPECT_EQ(platform::LockRange(b, 17, 1, true), 0);  // a neighbouring byte is free
  EXPECT_TRUE(platform::RangeIsLockedByOthers(b, 0, 2147483647));
  EXPECT_EQ(platform::UnlockRange(a, 16, 1), 0);
  EXPECT_EQ(platform::LockRange(b, 16, 1, true), 0);
  EXPECT_EQ(platform::LockRange(a, 0, 2147483647, true), EAGAIN);
  ::close(b);  // closing releases every lock of that open
  EXPECT_EQ(platform::LockRange(a, 0, 2147483647, true), 0);
  ::close(a);
  ::unlink(name);
}

TEST(FileLock, ShareClaimsRefuseConflictingOpens) {
  char name[] = "/tmp/tiepic-share-XXXXXX";
  int a = ::mkstemp(name);
  ASSERT_GE(a, 0);
  int b = ::open(name, O_RDWR);
  int c = ::open(name, O_RDONLY);
  ASSERT_EQ(platform::ClaimShare(a, {true, true, false, true}), 0);  // denies writing
  EXPECT_EQ(platform::ClaimShare(b, {true, true, false, false}), EBUSY);
  EXPECT_EQ(platform::ClaimShare(c, {true, false, false, false}), 0);
  EXPECT_EQ(platform::ClaimShare(b, {true, false, true, false}), EBUSY);  // c reads
  ::close(a);
  ::close(c);
  EXPECT_EQ(platform::ClaimShare(b, {true, true, true, true}), 0);
  ::close(b);
  ::unlink(name);
}

TEST_F(Locking, HeldHeaderByteMakesFindAndAppendFailWithLockError) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbAppend(Id("1")));
  OtherOpen other(Path("a.edb"));
  ASSERT_EQ(platform::LockRange(other.fd(), 16, 1, true), 0);
  EXPECT_FALSE(DbFind(Id("1")));
  EXPECT_EQ(DbLastError(), -28);
  EXPECT_FALSE(DbAppend(Id("2")));
  EXPECT_EQ(DbLastError(), -28);
  EXPECT_FALSE(DbCreateIndex(Path("b"), {"photo_id"}));
  EXPECT_EQ(DbLastError(), -28);
  ASSERT_EQ(platform::UnlockRange(other.fd(), 16, 1), 0);
  ASSERT_TRUE(DbRewind());
  EXPECT_TRUE(DbFind(Id("1")));
  // The lock of the next record slot holds appends off as well.
  ASSERT_EQ(platform::LockRange(other.fd(), 188 + 24, 1, true), 0);
  EXPECT_FALSE(DbAppend(Id("2")));
  EXPECT_EQ(DbLastError(), -28);
  ASSERT_EQ(platform::UnlockRange(other.fd(), 188 + 24, 1), 0);
  EXPECT_TRUE(DbAppend(Id("2")));
}

// Another program reading: its files are open read-only, so every lock it
// holds is a shared one. A writer's locks are exclusive and so wait for it
// (they fail with the lock error); a second reader's are shared and go in.
TEST_F(Locking, AReadersSharedLocksHoldWritersOffAndLetReadersIn) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  ASSERT_TRUE(DbAppend(Id("1")));
  const int main_reader = ::open(Path("a.edb").c_str(), O_RDONLY);
  const int index_reader = ::open(Path("a.ENX").c_str(), O_RDONLY);
  ASSERT_GE(main_reader, 0);
  ASSERT_GE(index_reader, 0);
  const struct {
    int fd;
    int64_t offset;  // one byte
  } held[] = {{main_reader, 16}, {main_reader, 188 + 24}, {index_reader, 0}};
  for (const auto& h : held) {
    SCOPED_TRACE(h.offset);
    ASSERT_EQ(platform::LockRange(h.fd, h.offset, 1, false), 0);
    EXPECT_FALSE(DbAppend(Id("2")));
    EXPECT_EQ(DbLastError(), -28);
    ASSERT_EQ(platform::UnlockRange(h.fd, h.offset, 1), 0);
  }
  EXPECT_EQ(ReadAll(Path("a.edb")).size(), 188u + 24);
  ASSERT_TRUE(DbAppend(Id("2")));
  ASSERT_TRUE(DbClose());
  // The header byte held shared: a read-write open, which locks the whole
  // file for its repair, fails; a read-only one and its finds go in, beside
  // a reader of the index as well.
  ASSERT_EQ(platform::LockRange(main_reader, 16, 1, false), 0);
  ASSERT_EQ(platform::LockRange(index_reader, 0, 1, false), 0);
  EXPECT_FALSE(DbOpen(Path("a.edb")));
  EXPECT_EQ(DbLastError(), -28);
  recorddb::DbOpenOptions read_only = ReadOnly();
  read_only.index_files = {"a"};
  ASSERT_TRUE(DbOpen(Path("a.edb"), read_only)) << DbLastError();
  EXPECT_TRUE(DbFind(Id("2")));
  EXPECT_EQ(DbCurrentPosition(), 1);
  ASSERT_TRUE(DbClose());
  ::close(main_reader);
  ::close(index_reader);
}

TEST_F(Locking, HeldIndexFileMakesFindFail) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  OtherOpen other(Path("a.ENX"));
  ASSERT_EQ(platform::LockRange(other.fd(), 100, 1, true), 0);
  EXPECT_FALSE(DbFind(Id("1")));
  EXPECT_EQ(DbLastError(), -28);
  EXPECT_FALSE(DbAppend(Id("1")));
  EXPECT_EQ(DbLastError(), -28);
  // The failed append left no record behind.
  EXPECT_EQ(ReadAll(Path("a.edb")).size(), 188u);
}

TEST_F(Locking, OpenRepairsOnlyWithTheWholeFileLocked) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  OtherOpen other(Path("a.edb"));
  ASSERT_EQ(platform::LockRange(other.fd(), 16, 1, true), 0);  // an append under way
  EXPECT_FALSE(DbOpen(Path("a.edb")));
  EXPECT_EQ(DbLastError(), -28);
  // Denying others reading takes no locks at all.
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithShareMode(2)));
  ASSERT_TRUE(DbCreateIndex(Path("a"), {"photo_id"}));
  EXPECT_TRUE(DbAppend(Id("1")));
  EXPECT_TRUE(DbFind(Id("1")));
}

TEST_F(Locking, ShareModesKeepOtherOpensOut) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(DbOpen(Path("a.edb"), WithShareMode(3)));  // denies writing
  {
    OtherOpen other(Path("a.edb"));
    EXPECT_EQ(platform::ClaimShare(other.fd(), {true, true, false, false}), EBUSY);
    EXPECT_EQ(platform::ClaimShare(other.fd(), {true, false, false, false}), 0);
    // Replacing a database that is open is refused, not done under it.
    EXPECT_FALSE(CreatePhotoTable(Path("a.edb")));
    EXPECT_EQ(DbLastError(), -12);
  }
  ASSERT_TRUE(DbClose());
  OtherOpen denier(Path("a.edb"));
  ASSERT_EQ(platform::ClaimShare(denier.fd(), {true, true, true, false}), 0);
  EXPECT_FALSE(DbOpen(Path("a.edb"), ReadOnly()));
  EXPECT_EQ(DbLastError(), -12);
}

TEST_F(Locking, IndexIsNeverBuiltOverAFileADatabaseHasOpen) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("shared")));
  ASSERT_TRUE(DbAppend(Id("1")));
  ASSERT_TRUE(DbCreate(Path("m.edb"), {{"photo_id", 10, 20}, {"memo", 12, 0}}));
  ASSERT_TRUE(DbOpen(Path("m.edb")));
  ASSERT_TRUE(CreatePhotoTable(Path("b.edb")));
  ASSERT_TRUE(DbOpen(Path("b.edb")));
  ASSERT_TRUE(DbAppend(Id("2")));
  const std::vector<uint8_t> a = ReadAll(Path("a.edb"));
  const std::vector<uint8_t> m_aux = ReadAll(Path("m.EDT"));
  // The main and auxiliary files of other databases open here.
  EXPECT_FALSE(DbCreateIndex(Path("a.edb"), {"photo_id"}));
  EXPECT_EQ(DbLastError(), -12);
  EXPECT_FALSE(DbCreateIndex(Path("m.EDT"), {"photo_id"}));
  EXPECT_EQ(DbLastError(), -12);
  EXPECT_EQ(ReadAll(Path("a.edb")), a);
  EXPECT_EQ(ReadAll(Path("m.EDT")), m_aux);
  // An index another database has open is rebuilt from this one.
  EXPECT_TRUE(DbCreateIndex(Path("shared"), {"photo_id"})) << DbLastError();
  EXPECT_TRUE(DbFind(Id("2")));
  DbCloseAll();
  // A database another program has open: its open claims the main file.
  ASSERT_TRUE(DbOpen(Path("b.edb")));
  {
    OtherOpen other(Path("a.edb"));
    ASSERT_EQ(platform::ClaimShare(other.fd(), {true, true, false, false}), 0);
    EXPECT_FALSE(DbCreateIndex(Path("a.edb"), {"photo_id"}));
    EXPECT_EQ(DbLastError(), -12);
    EXPECT_EQ(ReadAll(Path("a.edb")), a);
  }
  // An index another program has open (without a claim) is rebuilt.
  OtherOpen reader(Path("shared.ENX"));
  ASSERT_GE(reader.fd(), 0);
  EXPECT_TRUE(DbCreateIndex(Path("shared"), {"photo_id"})) << DbLastError();
  DbCloseAll();
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));  // still a database
  EXPECT_TRUE(DbFind(Id("1")));
}

// Appends `count` ids "<prefix><i>" the way the download does: rewind, find,
// append when missing, retrying while the other program holds a lock.
// Returns the number appended, or -1 on another failure.
int AppendIds(const std::string& db, const std::string& index, const std::string& prefix,
              int count) {
  if (!RetryOnLockConflict([&] { return DbOpen(db); })) return -1;
  if (!RetryOnLockConflict([&] { return DbCreateIndex(index, {"photo_id"}); })) return -1;
  int appended = 0;
  for (int i = 0; i < count; ++i) {
    const auto id = Id(prefix + std::to_string(i));
    bool found = false;
    if (!RetryOnLockConflict([&] {
          DbRewind();
          found = DbFind(id);
          return found || DbLastError() == 0;
        })) {
      return -1;
    }
    if (found) continue;
    if (!RetryOnLockConflict([&] { return DbAppend(id); })) return -1;
    ++appended;
  }
  DbClose();
  return appended;
}

TEST_F(Locking, TwoProgramsAppendingAtOnceLoseNoRecord) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  constexpr int kEach = 600;
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      ::close(start[1]);
      char byte;
      (void)!::read(start[0], &byte, 1);  // both start when the parent lets go
      int n = AppendIds(Path("a.edb"), Path("a"), c == 0 ? "left-" : "right-", kEach);
      ::_exit(n == kEach ? 0 : 1);
    }
  }
  ::close(start[0]);
  ::close(start[1]);
  EXPECT_EQ(WaitBounded(children[0], 60), 0);
  EXPECT_EQ(WaitBounded(children[1], 60), 0);
  // The shared index file is consistent as the two programs left it.
  std::vector<std::string> problems = CheckFiles(Path("a.edb"), Path("a.ENX"));
  EXPECT_TRUE(problems.empty()) << problems[0];
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  EXPECT_EQ(I32At(ReadAll(Path("a.edb")), 16), 2 * kEach);
  for (const char* prefix : {"left-", "right-"}) {
    for (int i = 0; i < kEach; ++i) {
      ASSERT_TRUE(DbRewind());
      ASSERT_TRUE(DbFind(Id(prefix + std::to_string(i)))) << prefix << i;
    }
  }
}

// A program keeps index blocks between its searches; appends by another
// program must still be seen, also when they split no node and so leave the
// index header as it was.
TEST_F(Locking, FindSeesWhatAnotherProgramAppended) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a")));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(DbAppend(Id("mine-" + std::to_string(i))));
  ASSERT_TRUE(DbRewind());
  ASSERT_FALSE(DbFind(Id("theirs-7")));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    DbCloseAll();  // the parent's files stay open, and locked, in the parent
    bool ok = DbOpen(Path("a.edb"), WithIndexes({"a"}));
    for (int i = 0; ok && i < 3; ++i) {
      ok = RetryOnLockConflict([&] { return DbAppend(Id("theirs-" + std::to_string(i))); });
    }
    ::_exit(ok ? 0 : 1);
  }
  ASSERT_EQ(WaitBounded(pid, 30), 0);
  EXPECT_EQ(ReadAll(Path("a.ENX")).size(), 1024u);  // still one leaf
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(DbRewind());
    ASSERT_TRUE(DbFind(Id("theirs-" + std::to_string(i)))) << i;
    EXPECT_EQ(DbCurrentPosition(), 5 + i);
  }
  ASSERT_TRUE(DbAppend(Id("mine-last")));  // lands after the other program's records
  EXPECT_EQ(DbCurrentPosition(), 8);
  DbCloseAll();
  const std::vector<std::string> problems = CheckFiles(Path("a.edb"), Path("a.ENX"));
  EXPECT_TRUE(problems.empty()) << problems[0];
}

// A child appending ids is killed at a random moment, eight times over.
// Every id whose append had returned is found afterwards, the count is at
// most one past them, and the files check clean. The kill seldom lands
// inside the write of a record, so this is no test of cutting a partial
// record; CutLastRecordIsDroppedByAReadWriteOpen covers that.
TEST_F(Locking, KilledAppenderLosesNoFinishedId) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  std::mt19937 rng(42);
  std::set<std::string> finished;
  int32_t expected_min = 0;
  for (int round = 0; round < 8; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      if (!DbOpen(Path("a.edb")) || !DbCreateIndex(Path("a"), {"photo_id"})) ::_exit(3);
      for (int32_t i = 0; i < 1000000; ++i) {
        if (!DbAppend(Id("r" + std::to_string(round) + "-" + std::to_string(i)))) ::_exit(4);
        if (::write(fds[1], &i, sizeof i) != sizeof i) ::_exit(5);
      }
      ::_exit(0);
    }
    ::close(fds[1]);
    // Let it run a random while, then kill it wherever it is.
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 40));
    ::kill(pid, SIGKILL);
    int status;
    ::waitpid(pid, &status, 0);
    int32_t i, reported = 0;
    while (::read(fds[0], &i, sizeof i) == sizeof i) {
      finished.insert("r" + std::to_string(round) + "-" + std::to_string(i));
      ++reported;
    }
    ::close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself: " << WEXITSTATUS(status);
    expected_min += reported;
    // The next program's open finds every finished id.
    ASSERT_TRUE(OpenPhotoTable(Path("a.edb"), Path("a"))) << DbLastError();
    const std::vector<uint8_t> b = ReadAll(Path("a.edb"));
    const int32_t count = I32At(b, 16);
    EXPECT_EQ(b.size(), 188u + 24u * count);
    EXPECT_GE(count, expected_min);
    EXPECT_LE(count, expected_min + 1);  // one append may have finished unreported
    expected_min = count;
    for (const std::string& id : finished) {
      ASSERT_TRUE(DbRewind());
      ASSERT_TRUE(DbFind(Id(id))) << id << " after round " << round;
    }
    ASSERT_TRUE(DbClose());
    const std::vector<std::string> problems = CheckFiles(Path("a.edb"), Path("a.ENX"));
    ASSERT_TRUE(problems.empty()) << problems[0];
  }
  EXPECT_GT(finished.size(), 8u);
}

}  // namespace
}  // namespace recorddb_test
