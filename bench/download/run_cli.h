// Runs tiepic-cli from the build folder for the download benchmarks, its
// output thrown away, and reports its exit status and resource use.
#ifndef TIEPIC_BENCH_DOWNLOAD_RUN_CLI_H_
#define TIEPIC_BENCH_DOWNLOAD_RUN_CLI_H_

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace bench {

// Runs tiepic-cli with `arguments`, in this process's environment less any
// GLIBC_TUNABLES, plus `extra_environment` ("NAME=VALUE", may be empty).
// Returns its exit status (-1: not run or not exited); *usage (may be null)
// gets its resource use.
inline int RunCli(std::vector<std::string> arguments, const std::string& extra_environment = {},
                  rusage* usage = nullptr) {
  arguments.insert(arguments.begin(), std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli");
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with("GLIBC_TUNABLES=")) env.push_back(*e);
  }
  std::string extra = extra_environment;
  if (!extra.empty()) env.push_back(extra.data());
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  rusage ignored{};
  if (wait4(pid, &status, 0, usage ? usage : &ignored) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace bench

#endif  // TIEPIC_BENCH_DOWNLOAD_RUN_CLI_H_
