// Runs a program as a user's shell would, for the tests of the programs:
// its standard output and standard error are kept apart, standard error may
// be a terminal (a pseudo-terminal the test reads), the environment may be
// changed, and a signal may be sent once the program has reached a point the
// test waits for. Every wait is bounded.
#ifndef TIEPIC_TESTS_APP_PROGRAM_RUN_H_
#define TIEPIC_TESTS_APP_PROGRAM_RUN_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 when it did not exit by itself
};

struct ProgramOptions {
  std::map<std::string, std::string> environment;  // set ("" value: unset)
  std::string directory;                           // working folder; "": the test's
  bool error_is_terminal = false;
  // Asked with the output so far between reads; once it returns true,
  // `signal` is sent (once).
  std::function<bool(const ProgramRun&)> send_signal_when = nullptr;
  int signal = SIGINT;
  std::chrono::seconds limit{120};  // then the program is killed
};

inline ProgramRun RunProgram(const std::vector<std::string>& argv,
                             const ProgramOptions& options = {}) {
  ProgramRun run;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
  int held_terminal =
      -1;  // keeps the terminal open while the child has not opened it yet
  std::string terminal_name;
  if (options.error_is_terminal) {
    ::close(err[0]);
    ::close(err[1]);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) return run;
    terminal_name = ::ptsname(terminal);
    held_terminal = ::open(terminal_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    err[0] = terminal;
    err[1] = -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err_fd = options.error_is_terminal
                           ? ::open(terminal_name.c_str(), O_RDWR | O_NOCTTY)
                           : err[1];
    ::dup2(out[1], 1);
    ::dup2(err_fd, 2);
    for (const auto& [name, value] : options.environment) {
      if (value.empty()) {
        ::unsetenv(name.c_str());
      } else {
        ::setenv(name.c_str(), value.c_str(), 1);
      }
    }
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0)
      ::_exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  if (err[1] >= 0) ::close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + options.limit;
  bool signalled = false;
  bool exited = false;
  int status = 0;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  // Reads until the program has exited and nothing is left to read.
  for (bool more = true; more && std::chrono::steady_clock::now() < deadline;) {
    if (!signalled && options.send_signal_when && options.send_signal_when(run)) {
      ::kill(pid, options.signal);
      signalled = true;
    }
    if (!exited) exited = ::waitpid(pid, &status, WNOHANG) == pid;
    more = !exited;
    if (::poll(fds, 2, exited ? 0 : 50) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
        more = true;
      } else {
        fds[i].fd = -1;  // closed below
      }
    }
  }
  ::close(out[0]);
  ::close(err[0]);
  if (held_terminal >= 0) ::close(held_terminal);
  if (!exited) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  run.status = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The files under `folder` (the album folders' manifests left out): what a
// run saved.
inline size_t FilesUnder(const std::filesystem::path& folder) {
  size_t files = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); ++it) {
    files += it->is_regular_file() && it->path().filename() != ".tiepic.jsonl" ? 1 : 0;
  }
  return files;
}

}  // namespace testing_support

#endif  // TIEPIC_TESTS_APP_PROGRAM_RUN_H_
