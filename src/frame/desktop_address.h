// What the desktop is asked to open for a text given to the shell: a web
// address as it is, or the "file://" address of a file or folder on disk.
// The frame's OpenExternal, which the shell substitute (ShellExecuteA) calls,
// reads its text through it, so a back end only receives complete addresses.
#ifndef TIEPIC_FRAME_DESKTOP_ADDRESS_H_
#define TIEPIC_FRAME_DESKTOP_ADDRESS_H_

#include <string_view>

#include "runtime/value.h"

namespace frame {

using rt::Text;

// The address for `file` (GBK). A web address, a scheme of two or more
// characters followed by "://", comes back unchanged. Any other text names a
// file or folder, relative to `directory` when that is given, else to the
// working folder, and comes back as an absolute "file://" address whose
// UTF-8 bytes outside the unreserved characters and '/' are percent-encoded;
// "" when no such file or folder exists (the shell then opens nothing).
//
// Design note: a scheme followed by ':' alone would also take "mailto:", but
// then a folder named "ab:c" would go to the browser; requiring "://" keeps
// every folder name, a drive path such as "D:\pics" included, a folder.
Text DesktopAddress(std::string_view file, std::string_view directory);

}  // namespace frame

#endif  // TIEPIC_FRAME_DESKTOP_ADDRESS_H_
