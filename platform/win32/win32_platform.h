// The Windows realisation: each operation is the Windows call of its name.
#pragma once

#include "platform/platform.h"

namespace velmora {

class Win32Platform final : public Platform {
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

}  // namespace velmora
