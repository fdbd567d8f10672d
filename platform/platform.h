// The one seam between the diagnostics logic and the operating system. Each
// operation mirrors the Windows call named beside it, but for the few that
// say what is wanted rather than how (a program looked for, the installed
// programs listed, a file written whole); the Windows build passes straight
// through, the POSIX stand-in maps it onto POSIX, and the fake scripts it
// for unit tests. Paths are Windows paths (backslashes) in UTF-16; any
// conversion happens behind this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"

namespace velmora {

// HANDLE and HWND as the logic sees them: opaque, null meaning none.
using Handle = void*;
using Window = void*;

// A 64-bit FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
using FileTime = std::uint64_t;

// One entry of a directory search (WIN32_FIND_DATAW, the parts used).
struct FindEntry {
  WString name;  // the long file name
  FileTime lastWriteTime = 0;
  bool isDirectory = false;
};

// An open directory search (FindFirstFileW .. FindClose). Destroying it
// closes the search.
class FileSearch {
 public:
  virtual ~FileSearch() = default;
  // The next entry, the first one included; false once the search is done
  // or enumeration failed.
  virtual bool Next(FindEntry& entry) = 0;
};

// A thread message (MSG), carried whole so that what was taken off the
// queue can be handed back to TranslateMessage and DispatchMessage.
struct Message {
  Window window = nullptr;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::uint32_t time = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// What ShellExecuteExW is asked to do (SHELLEXECUTEINFOW, the parts used;
// owner window and working directory are always none).
struct ShellExecuteRequest {
  std::uint32_t mask = 0;
  WString verb;
  WString file;
  WString parameters;  // one command-line string
  int show = 0;
};

// The two programs of the operating system that write the reports.
enum class SystemProgram { Wmic, MsInfo32 };

// One entry of the registry's lists of installed programs, as Windows' own
// list of them reads it.
struct UninstallEntry {
  WString name;                  // DisplayName; empty when there is none
  WString version;               // DisplayVersion; empty when there is none
  bool systemComponent = false;  // SystemComponent is 1: Windows does not list it
  bool update = false;           // names a parent (ParentKeyName): an update of it
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Console: wprintf with a fixed message. Text only, never a format with
  // outside data in it.
  virtual void PrintMessage(const WChar* message) = 0;

  // SHGetFolderPathW(no window, csidl, no token, flags 0, buffer). Writes at
  // most kMaxPath units, terminator included. A negative result is a
  // failure, and the buffer then holds empty text.
  virtual std::int32_t SHGetFolderPathW(int csidl, WChar (&buffer)[kMaxPath]) = 0;

  // GetVersion: the low byte is the major version.
  virtual std::uint32_t GetVersion() = 0;

  // CreateDirectoryW(path, no security attributes); on failure the reason
  // is in GetLastError.
  virtual bool CreateDirectoryW(const WString& path) = 0;
  virtual std::uint32_t GetLastError() = 0;

  // GetFileAttributesW(path) says FILE_ATTRIBUTE_DIRECTORY.
  virtual bool IsDirectory(const WString& path) = 0;

  // GetFileAttributesW(path): the attribute bits, or INVALID_FILE_ATTRIBUTES
  // with the reason in GetLastError. SetFileAttributesW(path, attributes).
  virtual std::uint32_t GetFileAttributesW(const WString& path) = 0;
  virtual bool SetFileAttributesW(const WString& path, std::uint32_t attributes) = 0;

  // SetCurrentDirectoryW(path), for this process.
  virtual bool SetCurrentDirectoryW(const WString& path) = 0;

  // GetSystemDirectoryW(buffer, kMaxPath): the length of the path without
  // its terminator, 0 on failure; kMaxPath or more when it did not fit, and
  // the buffer then holds nothing usable.
  virtual std::uint32_t GetSystemDirectoryW(WChar (&buffer)[kMaxPath]) = 0;

  // FindFirstFileW(searchText); null for INVALID_HANDLE_VALUE.
  virtual std::unique_ptr<FileSearch> FindFirstFileW(const WString& searchText) = 0;

  // CompareFileTime: greater than zero when the first time is later.
  virtual long CompareFileTime(FileTime first, FileTime second) = 0;

  // CopyFileW(source, destination, fail-if-exists off).
  virtual bool CopyFileW(const WString& source, const WString& destination) = 0;

  // ShellExecuteExW: the process handle it leaves behind, or none.
  virtual Handle ShellExecuteExW(const ShellExecuteRequest& request) = 0;

  // WaitForSingleObject(handle, timeout): WAIT_OBJECT_0, WAIT_TIMEOUT or
  // WAIT_FAILED.
  virtual std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t timeoutMs) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual bool CloseHandle(Handle handle) = 0;

  // The thread's message queue, no window filter and no message range.
  virtual bool PeekMessageNoRemove(Message& message) = 0;  // PeekMessageW, PM_NOREMOVE
  virtual bool IsWindowUnicode(Window window) = 0;
  virtual int GetMessageW(Message& message) = 0;
  virtual int GetMessageA(Message& message) = 0;
  virtual void TranslateMessage(const Message& message) = 0;
  virtual void DispatchMessageW(const Message& message) = 0;
  virtual void DispatchMessageA(const Message& message) = 0;

  // Whether `program` is there to be started, looked up where Windows keeps
  // it as this process sees it, without running anything: WMIC in the
  // system directory's wbem folder; msinfo32 in the system directory or
  // where its App Paths entry points.
  virtual bool SystemProgramExists(SystemProgram program) = 0;

  // Lists the installed programs: the entries of the machine's uninstall
  // lists (both views where a 64-bit system has two) and of the user's, in
  // no particular order. False when none of them could be read at all.
  virtual bool ListInstalledPrograms(std::vector<UninstallEntry>& entries) = 0;

  // Makes `bytes` the whole of the file at `path`, created or replaced.
  // False, with nothing left at `path`, when they could not all be written.
  virtual bool WriteWholeFile(const WString& path, const std::string& bytes) = 0;

  // GetActiveWindow and ShellExecuteW(owner, verb, file, parameters, no
  // directory, show); the latter's result is not examined by the logic.
  virtual Window GetActiveWindow() = 0;
  virtual void ShellExecuteW(Window owner, const WString& verb, const WString& file,
                             const WString& parameters, int show) = 0;
};

// The platform the logic talks to: the system's own, unless a test has put
// another in its place.
Platform& CurrentPlatform();

// The realisation this build was made for (Win32 or POSIX).
Platform& SystemPlatform();

// Puts a platform in place of the system's for as long as it lives.
class ScopedPlatformOverride {
 public:
  explicit ScopedPlatformOverride(Platform& replacement);
  ~ScopedPlatformOverride();
  ScopedPlatformOverride(const ScopedPlatformOverride&) = delete;
  ScopedPlatformOverride& operator=(const ScopedPlatformOverride&) = delete;

 private:
  Platform* previous_;
};

}  // namespace velmora
