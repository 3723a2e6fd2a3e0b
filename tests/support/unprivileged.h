// Runs part of a test as an ordinary user. Permission checks (a read-only
// file, a folder without write permission) never refuse the superuser, and
// the suites run as root in CI; there the part runs in a forked child that
// has given up root for the user "nobody" before it starts, so those checks
// are tested wherever the suite runs. Run by anyone else, the part runs in
// the test's own process.
//
// Design note: a fork that drops its ids (setgroups, setresgid, setresuid)
// was chosen over starting the test binary again under setpriv or runuser:
// a new program would have to be reachable and readable by "nobody" (a CI
// checkout under /root is not), and the tools themselves may be missing; the
// forked child runs the same code, wherever the build lies.
#ifndef TIEPIC_TESTS_SUPPORT_UNPRIVILEGED_H_
#define TIEPIC_TESTS_SUPPORT_UNPRIVILEGED_H_

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace testing_support {

// Calls `body` with a fresh empty folder it owns, as a user that is not the
// superuser; the folder is removed afterwards. Failures inside the body fail
// the calling test (a child prints its own messages and reports by its exit
// status). REQUIRES: no other thread of the test process is busy (a forked
// child has only the calling thread).
inline void RunUnprivileged(const std::function<void(const std::string& folder)>& body) {
  std::string folder =
      (std::filesystem::temp_directory_path() / "tiepic-unprivileged-XXXXXX").string();
  ASSERT_NE(::mkdtemp(folder.data()), nullptr) << folder;
  if (::geteuid() != 0) {
    body(folder);
  } else {
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "no user \"nobody\" to run as";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    ASSERT_EQ(::chown(folder.c_str(), uid, gid), 0) << folder;
    std::fflush(nullptr);  // or the child would print what is buffered again
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
          ::setresuid(uid, uid, uid) != 0 || ::geteuid() == 0) {
        std::fprintf(stderr, "could not give up root for \"nobody\"\n");
        std::fflush(nullptr);
        ::_exit(3);
      }
      body(folder);
      const bool failed = ::testing::Test::HasFailure();
      std::fflush(nullptr);
      ::_exit(failed ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFEXITED(status) && WEXITSTATUS(status) == 3
                ? "could not run as \"nobody\""
                : "the part run as \"nobody\" failed (its messages are above)");
  }
  // The body may leave folders without write permission; make them
  // removable again for a user who is not root.
  std::error_code ec;
  ::chmod(folder.c_str(), 0700);
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0700);
  }
  std::filesystem::remove_all(folder, ec);
}

}  // namespace testing_support

#endif  // TIEPIC_TESTS_SUPPORT_UNPRIVILEGED_H_
