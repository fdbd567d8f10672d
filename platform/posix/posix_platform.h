// The POSIX stand-in, so the tool builds and runs on Linux and macOS. It
// reads the logic's Windows paths with backslashes as separators and maps
// the Windows services onto their nearest POSIX counterparts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmora {

class PosixPlatform final : public Platform {
 public:
  void PrintMessage(const WChar* message) override;
  std::int32_t SHGetFolderPathW(int csidl, WChar (&buffer)[kMaxPath]) override;
  std::uint32_t GetVersion() override;
  bool CreateDirectoryW(const WString& path) override;
  std::uint32_t GetLastError() override;
  bool IsDirectory(const WString& path) override;
  std::uint32_t GetFileAttributesW(const WString& path) override;
  bool SetFileAttributesW(const WString& path, std::uint32_t attributes) override;
  bool SetCurrentDirectoryW(const WString& path) override;
  std::uint32_t GetSystemDirectoryW(WChar (&buffer)[kMaxPath]) override;
  std::unique_ptr<FileSearch> FindFirstFileW(const WString& searchText) override;
  long CompareFileTime(FileTime first, FileTime second) override;
  bool CopyFileW(const WString& source, const WString& destination) override;
  Handle ShellExecuteExW(const ShellExecuteRequest& request) override;
  std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t timeoutMs) override;
  void Sleep(std::uint32_t milliseconds) override;
  bool CloseHandle(Handle handle) override;
  bool PeekMessageNoRemove(Message& message) override;
  bool IsWindowUnicode(Window window) override;
  int GetMessageW(Message& message) override;
  int GetMessageA(Message& message) override;
  void TranslateMessage(const Message& message) override;
  void DispatchMessageW(const Message& message) override;
  void DispatchMessageA(const Message& message) override;
  bool SystemProgramExists(SystemProgram program) override;
  bool ListInstalledPrograms(std::vector<UninstallEntry>& entries) override;
  bool WriteWholeFile(const WString& path, const std::string& bytes) override;
  Window GetActiveWindow() override;
  void ShellExecuteW(Window owner, const WString& verb, const WString& file,
                     const WString& parameters, int show) override;
};

// A logic path as a POSIX one: UTF-8, backslashes read as separators.
std::string ToNativePath(const WString& path);

// A POSIX path as the logic writes paths: UTF-16, separators as backslashes.
WString FromNativePath(const std::string& path);

// A ShellExecuteExW parameter text as a program's argument list: blanks
// separate arguments, double quotes (dropped) group a run with blanks into
// one, and backslashes become separators.
std::vector<std::string> SplitParameters(const WString& parameters);

// Records errno as the Windows error GetLastError will report.
void SetLastErrorFromErrno(int error);

// To be called before starting another process. Where the C library or a
// checker such as Valgrind forks to start it, the child gets a copy of
// standard output's unwritten buffer and, should it fail to start, may write
// that copy a second time; an empty buffer leaves it nothing to repeat.
void FlushConsoleBeforeStart();

// Records a Windows error for GetLastError as it is.
void SetLastErrorCode(std::uint32_t error);

}  // namespace velmora
