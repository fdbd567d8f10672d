// The real Win32 platform with a record of the process and message calls
// the logic makes through it, so tests can see which calls reached Windows.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmora {

class RecordingPlatform final : public Platform {
 public:
  // Every process and message call, in order: "Start", "Wait 0", "Sleep 10",
  // "Close", "Peek", "GetMessageW", "TranslateMessage", "DispatchMessageA" ...
  std::vector<std::string> calls;
  std::vector<Handle> closed;  // every handle handed to CloseHandle

  std::size_t Count(const std::string& call) const {
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
  }

  void PrintMessage(const WChar* message) override { real_.PrintMessage(message); }
  std::int32_t SHGetFolderPathW(int csidl, WChar (&buffer)[kMaxPath]) override {
    return real_.SHGetFolderPathW(csidl, buffer);
  }
  std::uint32_t GetVersion() override { return real_.GetVersion(); }
  bool CreateDirectoryW(const WString& path) override { return real_.CreateDirectoryW(path); }
  std::uint32_t GetLastError() override { return real_.GetLastError(); }
  bool IsDirectory(const WString& path) override { return real_.IsDirectory(path); }
  std::uint32_t GetFileAttributesW(const WString& path) override {
    return real_.GetFileAttributesW(path);
  }
  bool SetFileAttributesW(const WString& path, std::uint32_t attributes) override {
    return real_.SetFileAttributesW(path, attributes);
  }
  bool SetCurrentDirectoryW(const WString& path) override {
    calls.push_back("SetCurrentDirectory");
    return real_.SetCurrentDirectoryW(path);
  }
  std::uint32_t GetSystemDirectoryW(WChar (&buffer)[kMaxPath]) override {
    return real_.GetSystemDirectoryW(buffer);
  }
  std::unique_ptr<FileSearch> FindFirstFileW(const WString& searchText) override {
    return real_.FindFirstFileW(searchText);
  }
  long CompareFileTime(FileTime first, FileTime second) override {
    return real_.CompareFileTime(first, second);
  }
  bool CopyFileW(const WString& source, const WString& destination) override {
    return real_.CopyFileW(source, destination);
  }
  Handle ShellExecuteExW(const ShellExecuteRequest& request) override {
    calls.push_back("Start");
    return real_.ShellExecuteExW(request);
  }
  std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t timeoutMs) override {
    calls.push_back("Wait " + std::to_string(timeoutMs));
    return real_.WaitForSingleObject(handle, timeoutMs);
  }
  void Sleep(std::uint32_t milliseconds) override {
    calls.push_back("Sleep " + std::to_string(milliseconds));
    real_.Sleep(milliseconds);
  }
  bool CloseHandle(Handle handle) override {
    calls.push_back("Close");
    closed.push_back(handle);
    return real_.CloseHandle(handle);
  }
  bool PeekMessageNoRemove(Message& message) override {
    calls.push_back("Peek");
    return real_.PeekMessageNoRemove(message);
  }
  bool IsWindowUnicode(Window window) override { return real_.IsWindowUnicode(window); }
  int GetMessageW(Message& message) override {
    calls.push_back("GetMessageW");
    return real_.GetMessageW(message);
  }
  int GetMessageA(Message& message) override {
    calls.push_back("GetMessageA");
    return real_.GetMessageA(message);
  }
  void TranslateMessage(const Message& message) override {
    calls.push_back("TranslateMessage");
    real_.TranslateMessage(message);
  }
  void DispatchMessageW(const Message& message) override {
    calls.push_back("DispatchMessageW");
    real_.DispatchMessageW(message);
  }
  void DispatchMessageA(const Message& message) override {
    calls.push_back("DispatchMessageA");
    real_.DispatchMessageA(message);
  }
  bool SystemProgramExists(SystemProgram program) override {
    return real_.SystemProgramExists(program);
  }
  bool ListInstalledPrograms(std::vector<UninstallEntry>& entries) override {
    return real_.ListInstalledPrograms(entries);
  }
  bool WriteWholeFile(const WString& path, const std::string& bytes) override {
    return real_.WriteWholeFile(path, bytes);
  }
  Window GetActiveWindow() override { return real_.GetActiveWindow(); }
  void ShellExecuteW(Window owner, const WString& verb, const WString& file,
                     const WString& parameters, int show) override {
    real_.ShellExecuteW(owner, verb, file, parameters, show);
  }

 private:
  Platform& real_ = SystemPlatform();
  ScopedPlatformOverride override_{*this};
};

}  // namespace velmora
