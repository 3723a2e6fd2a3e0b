// Bound platform functions: the logic declares, by library and exported name,
// the platform functions it calls, and each declaration is bound on its first
// call against a registry of this program's own substitutes for them. A
// library name that is empty means the system search: the first of the
// system libraries (Kernel32, Gdi32, User32, Advapi32, Mpr, Shell32) that
// exports the name. A name "#n" asks for ordinal n. A function that cannot be
// found is fatal: "无法找到指定DLL库文件“<library>”中的输出命令“<name>”", or
// without the library part for the system search. A bound declaration never
// binds again; a function declared twice binds once per declaration.
//
// Substitutes are registered with their C++ type; calling one through a
// declaration of another type is the fatal run-time error 6, the stack check
// that follows a call of a platform function.
//
// Thread safety: registration belongs to start-up; binding and calling may
// happen on any thread (two threads binding one declaration at once both
// resolve it and store the same address).
#ifndef TIEPIC_FRAME_BOUND_FUNCTIONS_H_
#define TIEPIC_FRAME_BOUND_FUNCTIONS_H_

#include <cstdint>
#include <string_view>
#include <typeinfo>
#include <utility>

namespace frame {

using AnyFunction = void (*)();

struct BoundAddress {
  AnyFunction address = nullptr;
  const std::type_info* type = nullptr;
};

// Adds a substitute to the registry. Library names compare without regard
// to ASCII case and with or without ".dll"; `ordinal` 0 means none.
void RegisterRawPlatformFunction(std::string_view library, std::string_view name,
                                 BoundAddress fn, uint16_t ordinal = 0);

template <class Fn>
void RegisterPlatformFunction(std::string_view library, std::string_view name, Fn* fn,
                              uint16_t ordinal = 0) {
  RegisterRawPlatformFunction(library, name,
                              {reinterpret_cast<AnyFunction>(fn), &typeid(Fn)}, ordinal);
}

// Declares one more function; returns its index in the table. The logic's
// own declarations (DeclaredFunction below) come first.
int DeclarePlatformFunction(std::string_view library, std::string_view name);

// The declaration's function, bound now if it is not yet. Fatal when the
// library or the function is missing.
BoundAddress BindPlatformFunction(int index);

// How often a library of the registry has been loaded by a binding.
int LibraryLoadCount(std::string_view library);

[[noreturn]] void StackCheckFailed();

template <class Fn, class... Args>
decltype(auto) CallPlatformFunction(int index, Args&&... args) {
  BoundAddress bound = BindPlatformFunction(index);
  if (*bound.type != typeid(Fn)) StackCheckFailed();
  return reinterpret_cast<Fn*>(bound.address)(std::forward<Args>(args)...);
}

// The logic's declarations, in the order it makes them.
enum DeclaredFunction : int {
  kResumeThread,
  kSkinAttachRes,
  kCoInitialize,
  kPathFileExistsA,
  kMakeSureDirectoryPathExists,
  kShellExecuteA,
  kCreateThread,
  kInternetOpenA,
  kInternetCloseHandle,
  kInternetConnectA,
  kHttpOpenRequestA,
  kHttpSendRequestA,
  kHttpSendRequestA2,
  kInternetReadFile,
  kHttpQueryInfoA,
  kMultiByteToWideChar,
  kWideCharToMultiByte,
  kGetInputState,
  kCoUninitialize,
  kCreateWaitableTimerA,
  kSetWaitableTimer,
  kMsgWaitForMultipleObjects,
  kCloseHandle,
  kSHBrowseForFolderA,
  kSHGetPathFromIDListA,
  kSendMessageA,
  kPathIsDirectoryA,
  kSuspendThread,
  kGetExitCodeThread,
  kTerminateThread,
  kMultiByteToWideChar2,
  kWideCharToMultiByte2,
  kWideCharToMultiByte3,
  kDeclaredFunctionCount,
};

// Registers the substitutes of the file, shell and code-page functions (once
// per process).
void RegisterRuntimeSubstitutes();

}  // namespace frame

#endif  // TIEPIC_FRAME_BOUND_FUNCTIONS_H_
