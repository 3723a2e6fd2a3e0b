// The registry of substitutes and the table of declarations.
#include "frame/bound_functions.h"

#include <atomic>
#include <charconv>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "runtime/conversion_commands.h"
#include "runtime/fatal.h"
#include "runtime/gbk.h"

namespace frame {

using rt::FatalError;
using rt::operator""_gbk;

namespace {

struct Library {
  std::map<std::string, BoundAddress> by_name;
  std::map<uint16_t, BoundAddress> by_ordinal;
  std::atomic<int> loads{0};
};

struct Declaration {
  std::string library;
  std::string name;
  std::atomic<AnyFunction> address{nullptr};
  std::atomic<const std::type_info*> type{nullptr};
  std::atomic<Library*> module{nullptr};
};

struct Line {
  const char* library;
  const char* name;
};

// The logic's declarations, in the order it makes them.
constexpr Line kLines[] = {
    {"kernel32.dll", "ResumeThread"},   {"skin.dll", "SkinAttachRes"},
    {"ole32.dll", "CoInitialize"},      {"shlwapi.dll", "PathFileExistsA"},
    {"dbghelp.dll", "MakeSureDirectoryPathExists"},
    {"", "ShellExecuteA"},              {"", "CreateThread"},
    {"wininet.dll", "InternetOpenA"},   {"wininet.dll", "InternetCloseHandle"},
    {"wininet.dll", "InternetConnectA"}, {"wininet.dll", "HttpOpenRequestA"},
    {"wininet.dll", "HttpSendRequestA"}, {"wininet.dll", "HttpSendRequestA"},
    {"wininet.dll", "InternetReadFile"}, {"wininet.dll", "HttpQueryInfoA"},
    {"", "MultiByteToWideChar"},        {"kernel32.dll", "WideCharToMultiByte"},
    {"user32", "GetInputState"},        {"ole32.dll", "CoUninitialize"},
    {"", "CreateWaitableTimerA"},       {"", "SetWaitableTimer"},
    {"", "MsgWaitForMultipleObjects"},  {"kernel32", "CloseHandle"},
    {"", "SHBrowseForFolderA"},         {"", "SHGetPathFromIDListA"},
    {"user32", "SendMessageA"},         {"shlwapi.dll", "PathIsDirectoryA"},
    {"kernel32.dll", "SuspendThread"},  {"kernel32", "GetExitCodeThread"},
    {"Kernel32.dll", "TerminateThread"}, {"", "MultiByteToWideChar"},
    {"kernel32.dll", "WideCharToMultiByte"}, {"kernel32.dll", "WideCharToMultiByte"},
};
static_assert(std::size(kLines) == kDeclaredFunctionCount);

struct Tables {
  Tables() {
    for (const Line& line : kLines) {
      Declaration& d = declarations.emplace_back();
      d.library = line.library;
      d.name = line.name;
    }
  }
  std::mutex mu;  // guards the maps' shapes, not the bound addresses
  std::map<std::string, Library> libraries;
  std::deque<Declaration> declarations;  // stable addresses
};

Tables& tables() {
  static Tables t;
  return t;
}

// "KERNEL32.DLL", "kernel32" and "Kernel32.dll" name one library.
std::string LibraryKey(std::string_view library) {
  std::string key;
  for (char c : library) key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
  return key;
}

Library* LoadLibrary(std::string_view library) {
  Tables& t = tables();
  std::lock_guard lock(t.mu);
  auto it = t.libraries.find(LibraryKey(library));
  if (it == t.libraries.end()) return nullptr;
  ++it->second.loads;
  return &it->second;
}

const BoundAddress* Lookup(Library& library, std::string_view name) {
  std::lock_guard lock(tables().mu);
  if (!name.empty() && name[0] == '#') {
    unsigned ordinal = 0;
    std::from_chars(name.data() + 1, name.data() + name.size(), ordinal);
    auto it = library.by_ordinal.find(static_cast<uint16_t>(ordinal & 0xFFFF));
    return it == library.by_ordinal.end() ? nullptr : &it->second;
  }
  auto it = library.by_name.find(std::string(name));
  return it == library.by_name.end() ? nullptr : &it->second;
}

[[noreturn]] void NotFound(const Declaration& d) {
  if (d.library.empty()) {
    FatalError("无法找到指定DLL库文件中的输出命令“"_gbk + d.name + "”"_gbk);
  }
  FatalError("无法找到指定DLL库文件“"_gbk + d.library + "”中的输出命令“"_gbk + d.name +
             "”"_gbk);
}

}  // namespace

void RegisterRawPlatformFunction(std::string_view library, std::string_view name,
                                 BoundAddress fn, uint16_t ordinal) {
  Tables& t = tables();
  std::lock_guard lock(t.mu);
  Library& lib = t.libraries[LibraryKey(library)];
  lib.by_name[std::string(name)] = fn;
  if (ordinal != 0) lib.by_ordinal[ordinal] = fn;
}

int DeclarePlatformFunction(std::string_view library, std::string_view name) {
  Tables& t = tables();
  std::lock_guard lock(t.mu);
  Declaration& d = t.declarations.emplace_back();
  d.library = library;
  d.name = name;
  return static_cast<int>(t.declarations.size()) - 1;
}

BoundAddress BindPlatformFunction(int index) {
  RegisterRuntimeSubstitutes();
  Tables& t = tables();
  Declaration* d = nullptr;
  {
    std::lock_guard lock(t.mu);
    if (index >= 0 && index < static_cast<int>(t.declarations.size())) {
      d = &t.declarations[index];
    }
  }
  // Reported without the lock: the report may itself reach these tables.
  if (d == nullptr) FatalError("数组成员引用下标超出定义范围"_gbk, 1);
  if (AnyFunction address = d->address.load()) return {address, d->type.load()};

  const BoundAddress* found = nullptr;
  Library* module = nullptr;
  if (d->library.empty()) {
    for (const char* system : {"Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll",
                               "Mpr.dll", "Shell32.dll"}) {
      module = LoadLibrary(system);
      if (module != nullptr && (found = Lookup(*module, d->name)) != nullptr) break;
    }
  } else if ((module = LoadLibrary(d->library)) != nullptr) {
    found = Lookup(*module, d->name);
  }
  if (found == nullptr) NotFound(*d);
  d->type.store(found->type);
  d->module.store(module);
  d->address.store(found->address);
  return *found;
}

int LibraryLoadCount(std::string_view library) {
  Tables& t = tables();
  std::lock_guard lock(t.mu);
  auto it = t.libraries.find(LibraryKey(library));
  return it == t.libraries.end() ? 0 : it->second.loads.load();
}

void StackCheckFailed() { FatalError("调用DLL命令后发现堆栈错误"_gbk, 6); }

}  // namespace frame
