// The program's folders on a desktop that follows the XDG conventions.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/program_folders.h"

namespace platform {
namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

// An absolute XDG value, or `fallback`.
std::string XdgFolder(const char* variable, const std::string& fallback) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] == '/' ? value : fallback;
}

// XDG_PICTURES_DIR as user-dirs.dirs gives it: a quoted "$HOME/..." or
// absolute path on a line of its own. Returns "" when there is none.
std::string PicturesFromUserDirs(const std::string& config, const std::string& home) {
  const std::optional<std::string> text = ReadWholeFile(config + "/user-dirs.dirs");
  if (!text) return {};
  std::istringstream lines(*text);
  constexpr std::string_view kKey = "XDG_PICTURES_DIR=\"";
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with(kKey) || line.size() < kKey.size() + 1 || line.back() != '"') {
      continue;
    }
    std::string value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
    if (value.starts_with("$HOME/")) return home + value.substr(5);
    if (value.starts_with("/")) return value;
  }
  return {};
}

bool FitsGbk(const std::string& utf8) { return ToUtf8(FromUtf8(utf8)) == utf8; }

}  // namespace

UserFolders UserFoldersFromEnvironment() {
  const std::string home = HomeFolder();
  const std::string base = home == "/" ? "" : home;
  UserFolders user;
  user.config = XdgFolder("XDG_CONFIG_HOME", base + "/.config");
  user.data = XdgFolder("XDG_DATA_HOME", base + "/.local/share");
  user.pictures = PicturesFromUserDirs(user.config, base);
  if (user.pictures.empty()) user.pictures = base + "/Pictures";
  return user;
}

ProgramFolders ChooseProgramFolders(const std::string& program_folder,
                                    const UserFolders& user) {
  const std::string parent =
      program_folder == "/" ? std::string() : program_folder + "/..";
  const bool installed = DirectorySearchFindsAny(parent + "/share/applications/" +
                                                 std::string(kDesktopEntryName));
  const bool writable = ::access(program_folder.c_str(), W_OK) == 0;
  if (writable && !installed && FitsGbk(program_folder)) {
    return {program_folder, program_folder, program_folder, false};
  }
  const std::string own = std::string("/") + kProgramName;
  return {user.pictures + own, user.config + own, user.data + own, true};
}

}  // namespace platform
