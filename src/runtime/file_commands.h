// The file and settings commands. Paths are GBK texts like every text of the
// logic; they are converted to the UTF-8 names of the file system here.
//
// Thread safety: no shared state beyond the file system itself.
#ifndef TIEPIC_RUNTIME_FILE_COMMANDS_H_
#define TIEPIC_RUNTIME_FILE_COMMANDS_H_

#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "runtime/value.h"

namespace rt {

// The program folder, without a trailing separator: the folder beside the
// program, or for an installed program the user's pictures folder
// (platform/program_folders.h).
Text RunDirectory();
// The folder of the settings file and the folder that holds the record
// folder: the program folder, or for an installed program the user's
// configuration and data folders.
Text SettingsDirectory();
Text DataDirectory();
// Returns true iff GBK text holds the program folder's name unchanged (a
// name with other characters comes out of RunDirectory with '?' in them).
bool RunDirectoryFitsText();
// Returns true iff GBK text holds the UTF-8 name `utf8` unchanged.
bool FitsText(std::string_view utf8);

// Returns true iff a directory search for `path` finds an entry: an existing
// file or folder, or a '*'/'?' pattern in the last component that matches.
bool FileExists(std::string_view path);

// Sets the attributes to `attributes` AND 0x27. Only read-only (1) has a
// meaning here: it removes every write permission, and its absence gives the
// owner's back. Hidden (2), system (4) and archive (0x20) are accepted and
// ignored; a Linux file is hidden by its name, which this never changes.
// Returns true iff the file exists and its permissions could be set.
bool SetFileAttrs(std::string_view path, int attributes);

// Creates or replaces the file with the byte arrays one after another.
// The bytes go to a temporary file that is renamed over the target, so an
// interrupted or failed write (a full disk, say) leaves no cut file under the
// name, and the old file, if any, stays whole. Returns false for an empty
// path or on any file error.
using BytesView = std::span<const unsigned char>;
bool WriteBytesToFile(std::string_view path, std::initializer_list<BytesView> parts);

// The settings value of `key` in `section` of `file`, or `default_value`
// when the file, section or key is missing. File, section and key lose their
// leading bytes 0x20 and below; if any of them is then empty the result is
// empty and the file is not read. A value longer than 10,239 bytes comes back
// cut to that (never inside a double-byte character).
Text ReadIniText(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view default_value = {});

// Writes `value` under `key`; an empty or omitted value removes the key, an
// empty or omitted key removes the whole section. Returns true iff the file
// holds the change.
bool WriteIniText(std::string_view file, std::string_view section,
                  std::optional<std::string_view> key = {},
                  std::optional<std::string_view> value = {});

}  // namespace rt

#endif  // TIEPIC_RUNTIME_FILE_COMMANDS_H_
