// The few file-system services the commands stand on: whole-file reads,
// atomic replacement of a file, directory searches with wildcards, the
// read-only attribute, and the program's own folders. Paths are UTF-8.
//
// Thread safety: all functions may be called from any thread; the run
// directory override is meant to be set once, before other threads start.
#ifndef TIEPIC_PLATFORM_FILE_SYSTEM_H_
#define TIEPIC_PLATFORM_FILE_SYSTEM_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The whole content of a regular file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces (or creates) `path` with the concatenation of `pieces`: the bytes
// go to a temporary file in the same folder, which is then renamed over the
// target, so a reader or a crash sees either the old file whole or the new
// one whole. With `durable` the data is flushed to disk before the rename.
// An existing target without write permission is refused, as opening it for
// writing would be. A symbolic link is written through: the file at the end
// of its chain is replaced (or created, when the link dangles) and the link
// stays; a chain that never ends is refused. Returns true iff the new content
// is in place.
bool ReplaceFile(const std::string& path, std::initializer_list<std::string_view> pieces,
                 bool durable);
bool ReplaceFile(const std::string& path, const std::string_view* pieces, size_t count,
                 bool durable);

// Creates `path` with the concatenation of `pieces`, never over anything:
// the bytes go to a temporary file in the same folder, which then takes the
// name only if nothing has it (a file, a folder, a link), so a reader or a
// crash sees the new file whole or not at all, and what was there stays.
enum class NewFileResult { kCreated, kNameTaken, kFailed };
NewFileResult CreateNewFile(const std::string& path,
                            std::initializer_list<std::string_view> pieces);

// Removes from `folder` the temporary files that ReplaceFile and
// CreateNewFile leave behind when their process is killed mid-write, once
// that process is gone (a live one's files stay). Returns how many were
// removed.
int RemoveLeftoverTemporaries(const std::string& folder);

// Returns true iff a directory search for `pattern` finds an entry: an
// existing file or folder, or, when the last component holds '*' or '?', at
// least one name in its folder that matches (case-sensitively, as the file
// system itself compares names; "." and ".." are entries too, so "dir/*"
// finds something in any existing folder). A pattern ending in '/' finds
// nothing, like a search for an empty name.
bool DirectorySearchFindsAny(const std::string& pattern);

// Sets or clears the read-only state: all write permissions removed, or the
// owner's write permission given back. Returns true iff the change was made.
bool SetReadOnly(const std::string& path, bool read_only);

// Returns true iff `path` names an existing folder.
bool IsDirectory(const std::string& path);

// Creates `path` and every missing folder above it. Returns true iff the
// folder exists afterwards.
bool CreateDirectories(const std::string& path);

// The program's folders, without a trailing separator: the folder it offers
// for pictures when none is chosen, the folder of its settings file and the
// folder that holds its record folder. All three are the folder given to
// SetRunDirectory when there is one (tests and the headless front end keep
// their settings and records in a folder of their own that way); otherwise
// the executable's folder or the user's folders, as program_folders.h
// chooses, decided once. When the user's folders are chosen, the settings
// folder is created at that moment, since nothing else creates it before the
// settings file is first written.
std::string RunDirectory();
std::string SettingsDirectory();
std::string DataDirectory();
void SetRunDirectory(std::string directory);

// The folder holding the running executable, without a trailing separator.
std::string ExecutableDirectory();

}  // namespace platform

#endif  // TIEPIC_PLATFORM_FILE_SYSTEM_H_
