// The update check: the newest version announced on the maker's version page
// against the program's own, shown on the help page; a message when a newer
// major version exists.
//
// Thread safety: runs on any thread; it touches the window only through the
// frame's marshalled calls and reads the program state's texts, which are
// fixed once the main window has been created.
#ifndef TIEPIC_SHELL_UPDATE_CHECK_H_
#define TIEPIC_SHELL_UPDATE_CHECK_H_

#include <string_view>

#include "frame/frame.h"
#include "shell/program_state.h"

namespace shell {

// The newest version on a version page's body: the text between
// "#" + key + "@@" and the next "#" + key; empty when a mark is missing.
rt::Text NewestVersion(std::string_view body, std::string_view version_key,
                       const ServiceProfile& profile = BuiltInProfile());

// Fetches the version page and writes the result into the help page's
// labels. While it runs the check button is disabled and the result label
// reads UpdateCheckRunningCaption; a page that could not be read, or holds
// no version, gives UpdateCheckFailedCaption.
void UpdateCheck(frame::Frame& frame, const ProgramState& state);

const rt::Text& UpdateCheckRunningCaption();  // "正在检查…"
const rt::Text& UpdateCheckFailedCaption();  // "检查失败，请稍后再试"

// The message shown when a newer version exists.
const rt::Text& NewVersionMessage();

}  // namespace shell

#endif  // TIEPIC_SHELL_UPDATE_CHECK_H_
