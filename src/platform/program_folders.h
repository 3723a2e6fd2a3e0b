// Where the program keeps its settings file and its repeat-download records,
// and which folder it offers for pictures when none has been chosen. A
// program run from a folder of its own keeps all three there. An installed
// program, or one whose folder's name GBK text cannot hold, keeps its
// settings in the user's configuration folder, its records in the user's
// data folder and offers the user's pictures folder instead.
//
// Design note: the folder beside the program stays the first choice, so a
// settings file and records carried over from an unpacked copy keep working.
// Always using the user's folders was rejected for that reason. Keeping the
// program folder and only swapping the unfit characters was rejected too: the
// '?' names would point at folders the user never sees.
//
// Thread safety: pure functions, except that ChooseProgramFolders looks at
// the file system.
#ifndef TIEPIC_PLATFORM_PROGRAM_FOLDERS_H_
#define TIEPIC_PLATFORM_PROGRAM_FOLDERS_H_

#include <string>

namespace platform {

// The user's own folders, as the desktop's conventions name them (UTF-8,
// without a trailing separator).
struct UserFolders {
  std::string config;    // $XDG_CONFIG_HOME, else ~/.config
  std::string data;      // $XDG_DATA_HOME, else ~/.local/share
  std::string pictures;  // XDG_PICTURES_DIR of user-dirs.dirs, else ~/Pictures
};

struct ProgramFolders {
  std::string program;     // offered as the save folder when none is chosen
  std::string settings;    // holds the settings file
  std::string data;        // holds the record folder
  bool relocated = false;  // the user's folders are used
};

// The name of the program's subfolder in each of the user's folders, and of
// the desktop entry an installation puts in <prefix>/share/applications.
inline constexpr char kProgramName[] = "tiepic";
inline constexpr char kDesktopEntryName[] = "tiepic.desktop";

// The user's folders from the environment (HOME, XDG_CONFIG_HOME,
// XDG_DATA_HOME and the user-dirs.dirs file); relative XDG values are
// ignored, as the desktop's conventions ask.
UserFolders UserFoldersFromEnvironment();

// The folders for a program in `program_folder`: that folder for all three,
// unless it is not writable, holds characters GBK text cannot hold, or has
// the installed desktop entry at ../share/applications beside it; then each
// of the user's folders + "/tiepic".
ProgramFolders ChooseProgramFolders(const std::string& program_folder,
                                    const UserFolders& user);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_PROGRAM_FOLDERS_H_
