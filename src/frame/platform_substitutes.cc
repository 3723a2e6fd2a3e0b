// The substitutes this layer provides for the file, shell and code-page ones. The thread, timer,
// HTTP and automation substitutes are registered by the layers that build
// them.
#include <mutex>
#include <string>

#include "frame/bound_functions.h"
#include "frame/frame.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"

namespace frame {

using rt::FileExists;
using rt::Text;
using rt::ToUtf8;

namespace {

// Creates every folder on the path up to its last separator; what follows
// that separator is a file name and is left alone. Returns true iff the
// folders exist afterwards.
bool MakeSureDirectoryPathExists(const Text& path) {
  size_t slash = path.rfind('/');
  if (slash == Text::npos) return true;
  std::string folder = ToUtf8(path.substr(0, slash + 1));
  return platform::CreateDirectories(folder);
}

bool PathFileExistsA(const Text& path) { return FileExists(path); }

bool PathIsDirectoryA(const Text& path) { return platform::IsDirectory(ToUtf8(path)); }

// Hands a web address, or a file or folder relative to `directory` (the
// working folder when empty), to the desktop. Returns 33, a success code, or
// 2 (file not found) when the file or folder is not there or no frame is
// there to open it.
int ShellExecuteA(const Text& operation, const Text& file, const Text& parameters,
                  const Text& directory, int show) {
  (void)operation, (void)parameters, (void)show;
  Frame* frame = Frame::Current();
  return frame != nullptr && frame->OpenExternal(file, directory) ? 33 : 2;
}

int CodePageOf(int code_page, platform::CodePage* cp) {
  switch (code_page) {
    case 936: *cp = platform::CodePage::kGbk; return 1;
    case 54936: *cp = platform::CodePage::kGb18030; return 1;
    case 65001: *cp = platform::CodePage::kUtf8; return 1;
    default: return 0;
  }
}

// Code pages 936, 54936 and 65001; any other gives an empty result.
std::u16string MultiByteToWideChar(int code_page, std::string_view bytes) {
  platform::CodePage cp;
  return CodePageOf(code_page, &cp) ? platform::MultiByteToWide(cp, bytes) : std::u16string();
}

std::string WideCharToMultiByte(int code_page, std::u16string_view wide) {
  platform::CodePage cp;
  return CodePageOf(code_page, &cp) ? platform::WideToMultiByte(cp, wide) : std::string();
}

void Register() {
  RegisterPlatformFunction("dbghelp.dll", "MakeSureDirectoryPathExists",
                           &MakeSureDirectoryPathExists);
  RegisterPlatformFunction("shlwapi.dll", "PathFileExistsA", &PathFileExistsA);
  RegisterPlatformFunction("shlwapi.dll", "PathIsDirectoryA", &PathIsDirectoryA);
  RegisterPlatformFunction("Shell32.dll", "ShellExecuteA", &ShellExecuteA);
  RegisterPlatformFunction("Kernel32.dll", "MultiByteToWideChar", &MultiByteToWideChar);
  RegisterPlatformFunction("Kernel32.dll", "WideCharToMultiByte", &WideCharToMultiByte);
}

}  // namespace

void RegisterRuntimeSubstitutes() {
  static std::once_flag once;
  std::call_once(once, Register);
}

}  // namespace frame
