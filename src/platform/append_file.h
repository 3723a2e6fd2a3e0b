// Appending whole lines to a text file that only ever grows, such as an
// album folder's manifest. A crash or a kill may cut the last line; the next
// append then starts on a new line, so a cut line never runs into a whole
// one, and nothing already in the file is ever rewritten.
//
// Thread safety: safe on any thread; appends of several processes to one
// file are kept apart by an exclusive lock on the file.
#ifndef TIEPIC_PLATFORM_APPEND_FILE_H_
#define TIEPIC_PLATFORM_APPEND_FILE_H_

#include <string>
#include <string_view>

namespace platform {

// Appends `line` and a line feed to `path` (UTF-8), creating the file when
// it is missing, in one write; when the file does not end in a line feed
// (its last line was cut), one goes first. REQUIRES: `line` holds no line
// feed. Returns true iff the whole line is in the file.
bool AppendLine(const std::string& path, std::string_view line);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_APPEND_FILE_H_
