// POSIX implementation of the file-system services.
#include "platform/file_system.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>

#include "platform/program_folders.h"

namespace platform {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The temporary files of ReplaceFile and CreateNewFile are named
// ".tiepic-PID-N.tmp": short and hidden, so a target name near the file
// system's 255-byte limit still leaves room for them, and the pid tells
// whether the process that made one is still there (see
// RemoveLeftoverTemporaries).
constexpr std::string_view kTemporaryPrefix = ".tiepic-";
constexpr std::string_view kTemporarySuffix = ".tmp";

// Opens a new temporary file in `folder` for writing; its path goes to
// `*temp`. A name left behind by a killed earlier process with the same pid
// is skipped, not fatal. Returns the descriptor, or -1.
int OpenTemporaryIn(const std::string& folder, mode_t mode, std::string* temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 64; ++attempt) {
    *temp = (folder == "/" ? "" : folder) + "/" + std::string(kTemporaryPrefix) +
            std::to_string(::getpid()) + "-" +
            std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) +
            std::string(kTemporarySuffix);
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The pid in a temporary file's name, or 0 when `name` is not of that form.
pid_t TemporaryOwner(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return 0;
  name.remove_prefix(kTemporaryPrefix.size());
  name.remove_suffix(kTemporarySuffix.size());
  const size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size()) return 0;
  const auto digits = [](std::string_view part) {
    return part.size() <= 10 &&
           std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(name.substr(0, dash)) || !digits(name.substr(dash + 1))) return 0;
  const long long pid = std::stoll(std::string(name.substr(0, dash)));
  return pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? static_cast<pid_t>(pid) : 0;
}

// Linux follows at most 40 links while looking up one path.
constexpr int kMaxLinks = 40;

// The file a write to `path` lands on: `path` with the links of its last
// component followed, each relative target read from the folder of the link
// that holds it. A link whose target is missing gives that target, which the
// write then creates. Returns nullopt for a chain that does not end (a loop)
// or a link that cannot be read.
std::optional<std::string> FollowLinks(std::string path) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    std::string target = std::filesystem::read_symlink(path, ec).string();
    if (ec || target.empty()) return std::nullopt;
    if (target.front() != '/') {
      std::string folder = FolderOf(path);
      target = (folder == "/" ? "" : folder) + "/" + target;
    }
    path = std::move(target);
  }
  return std::nullopt;
}

std::mutex run_directory_mutex;
std::optional<std::string> run_directory_override;

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    data.reserve(static_cast<size_t>(st.st_size));
  } else {
    ::close(fd);
    return std::nullopt;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

bool ReplaceFile(const std::string& path, std::initializer_list<std::string_view> pieces,
                 bool durable) {
  return ReplaceFile(path, pieces.begin(), pieces.size(), durable);
}

bool ReplaceFile(const std::string& requested, const std::string_view* pieces,
                 size_t count, bool durable) {
  if (requested.empty() || requested.back() == '/') return false;
  // A link is written through, as opening it for writing would: its target
  // is replaced and the link stays. The temporary file goes beside that
  // target, so the rename stays on one file system.
  std::optional<std::string> target = FollowLinks(requested);
  if (!target) return false;
  const std::string& path = *target;
  // A new file gets 0666 less the umask, as a plain create would; a replaced
  // one keeps its permissions.
  struct stat st;
  std::optional<mode_t> keep_mode;
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0) return false;
    keep_mode = st.st_mode & 07777;
  }
  std::string folder = FolderOf(path);
  std::string temp;
  const int fd = OpenTemporaryIn(folder, keep_mode ? 0600 : 0666, &temp);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t i = 0; ok && i < count; ++i) ok = WriteAll(fd, pieces[i]);
  if (ok && keep_mode) ok = ::fchmod(fd, *keep_mode) == 0;
  if (ok && durable) ok = ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  if (durable) {
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  return true;
}

NewFileResult CreateNewFile(const std::string& path,
                            std::initializer_list<std::string_view> pieces) {
  if (path.empty() || path.back() == '/') return NewFileResult::kFailed;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return NewFileResult::kNameTaken;
  std::string temp;
  const int fd = OpenTemporaryIn(FolderOf(path), 0666, &temp);
  if (fd < 0) return NewFileResult::kFailed;
  bool ok = true;
  for (std::string_view piece : pieces) ok = ok && WriteAll(fd, piece);
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(temp.c_str());
    return NewFileResult::kFailed;
  }
  // The rename that never replaces; a file system without it gets a hard
  // link, which fails on a taken name too.
  // Design note: a check for the name followed by a plain rename would
  // replace a file another process made in between.
  int moved = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
  if (moved != 0 && (errno == EINVAL || errno == ENOSYS)) {
    moved = ::link(temp.c_str(), path.c_str());
    if (moved == 0 || errno == EEXIST) ::unlink(temp.c_str());
  }
  const int error = moved == 0 ? 0 : errno;
  if (moved != 0) ::unlink(temp.c_str());
  if (moved == 0) return NewFileResult::kCreated;
  return error == EEXIST ? NewFileResult::kNameTaken : NewFileResult::kFailed;
}

int RemoveLeftoverTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = TemporaryOwner(entry->d_name);
    // Only a file whose maker is gone: a running writer's file, ours or
    // another tiepic's in the same folder, is in use.
    if (owner == 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    const std::string path = (folder == "/" ? "" : folder) + "/" + entry->d_name;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
      ++removed;
  }
  ::closedir(dir);
  return removed;
}

bool DirectorySearchFindsAny(const std::string& pattern) {
  if (pattern.empty() || pattern.back() == '/') return false;
  size_t slash = pattern.rfind('/');
  std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (name.find_first_of("*?") == std::string::npos) {
    struct stat st;
    return ::stat(pattern.c_str(), &st) == 0;
  }
  std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return false;
  // Only '*' and '?' are wildcards in a directory search; '[' and '\\' are
  // ordinary characters, so they are escaped for fnmatch.
  std::string fn_pattern;
  for (char c : name) {
    if (c == '[' || c == '\\') fn_pattern.push_back('\\');
    fn_pattern.push_back(c);
  }
  while (dirent* entry = ::readdir(dir.get())) {
    if (::fnmatch(fn_pattern.c_str(), entry->d_name, 0) == 0) return true;
  }
  return false;
}

bool SetReadOnly(const std::string& path, bool read_only) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = read_only ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  return ::chmod(path.c_str(), mode) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return IsDirectory(path);
}

std::string ExecutableDirectory() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  std::string folder = exe.parent_path().string();
  return folder.empty() ? "/" : folder;
}

namespace {

// The folders in use: the override, else the executable's, chosen once.
ProgramFolders CurrentFolders() {
  {
    std::lock_guard<std::mutex> lock(run_directory_mutex);
    if (run_directory_override) {
      const std::string& d = *run_directory_override;
      return {d, d, d, false};
    }
  }
  static const ProgramFolders chosen = [] {
    ProgramFolders folders =
        ChooseProgramFolders(ExecutableDirectory(), UserFoldersFromEnvironment());
    if (folders.relocated) CreateDirectories(folders.settings);
    return folders;
  }();
  return chosen;
}

}  // namespace

std::string RunDirectory() { return CurrentFolders().program; }
std::string SettingsDirectory() { return CurrentFolders().settings; }
std::string DataDirectory() { return CurrentFolders().data; }

void SetRunDirectory(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  std::lock_guard<std::mutex> lock(run_directory_mutex);
  run_directory_override = std::move(directory);
}

}  // namespace platform
