// Profile (INI) files: the reader and writer behind the settings commands.
//
// Layout, as the profile functions of the original platform read it:
//   [section]          a section header; the name is trimmed of blanks
//   key=value          an entry; key and value trimmed of blanks; a value
//                      wrapped in matching quotes (" or ') loses them
//   ; comment          kept when the file is rewritten, never matched
// Section and key names compare without regard to ASCII case (a double-byte
// GBK character compares whole, so its trail byte is never folded). The first
// section of a name, and the first key of a name in it, win. Lines may end in
// LF or CR LF; a UTF-8 byte-order mark at the start is skipped. Values are
// bytes, GBK in practice, and are never converted.
//
// Writes rewrite the whole file with CR LF line ends into a temporary file
// and rename it over the old one, flushed to disk, so a crash leaves either
// the old file or the new one.
//
// Thread safety: no shared state; concurrent writers of one file may lose
// each other's change (last rename wins), as with the original functions.
#ifndef TIEPIC_PLATFORM_INI_FILE_H_
#define TIEPIC_PLATFORM_INI_FILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The value of `key` in `section` (both trimmed of blanks) of the file at
// `path` (UTF-8), read the way
// a fixed buffer of `buffer_size` bytes would take it: at most
// buffer_size - 1 bytes, and never ending in half a double-byte character.
// nullopt when the file, the section or the key is missing.
std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key, size_t buffer_size);

// Every section header and entry of the file at `path`, in file order, with
// its 1-based line number; comments and blank lines are left out. A line
// that is neither a header nor holds '=' is kNoEquals (the reader above
// takes it as a key without a value). nullopt when the file cannot be read.
struct ProfileEntry {
  std::string section;  // the section it stands in ("" before the first)
  std::string key;
  std::string value;  // unquoted
  int line = 0;
  enum Kind { kSection, kEntry, kNoEquals } kind = kEntry;
};
std::optional<std::vector<ProfileEntry>> ReadProfileEntries(const std::string& path);

// `value` cut to what a buffer of `buffer_size` bytes holds with its NUL:
// at most buffer_size - 1 bytes, never ending in half a double-byte character.
std::string_view FitToBuffer(std::string_view value, size_t buffer_size);

// Writes to the file at `path`: with no key, removes the whole section; with
// a key but no value, removes that key; otherwise sets key=value, replacing
// the first entry of that name or adding one at the end of the section
// (adding the section at the end of the file when it is missing). Removing
// from a missing file succeeds without creating it. Names are trimmed of
// blanks as the reader trims them. Refuses (false, file untouched) what could
// not be read back as written: a line break anywhere, ']' in the section
// name, '=' in the key, a key starting with ';' or '['. Returns true iff the
// file holds the change afterwards.
bool WriteProfileString(const std::string& path, std::string_view section,
                        std::optional<std::string_view> key,
                        std::optional<std::string_view> value);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_INI_FILE_H_
