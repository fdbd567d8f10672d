// A scripted platform for unit tests: folder lookups, a small in-memory
// file system, programs that run for a set time on a virtual clock, a
// message queue, and a record of every call.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmora {

class FakePlatform final : public Platform {
 public:
  // Starts as a newer-layout system whose desktop, local application data
  // and Windows folders exist and are found.
  FakePlatform();

  // Console: everything printed, in order, and each message on its own.
  WString output;
  std::vector<WString> messages;
  std::string OutputUtf8() const;

  // Folder lookups: the answer for each CSIDL (a missing one fails).
  struct FolderAnswer {
    std::int32_t result = 0;
    WString path;
  };
  std::map<int, FolderAnswer> folders;
  std::vector<int> folderLookups;
  std::uint32_t version = 10;

  // File system. Paths compare without regard to ASCII letter case; nodes
  // are yielded by searches in the order they were added.
  struct Node {
    WString path;
    bool isDirectory = false;
    std::string contents;
    FileTime lastWriteTime = 0;
    bool locked = false;    // opened elsewhere without sharing: copies fail
    bool readOnly = false;  // kept by copies, as CopyFileW keeps attributes
  };
  std::vector<Node> nodes;
  Node& AddDirectory(const WString& path, FileTime lastWriteTime = 1);
  Node& AddFile(const WString& path, std::string contents, FileTime lastWriteTime = 1);
  Node* FindNode(const WString& path);
  std::uint32_t lastError = 0;
  std::vector<WString> createdDirectories;
  std::vector<WString> searches;  // every FindFirstFileW search text
  int openSearches = 0;           // searches not closed yet
  struct Copy {
    WString source;
    WString destination;
    bool succeeded;
  };
  std::vector<Copy> copies;
  std::vector<WString> attributesSet;  // every SetFileAttributesW path

  // The current folder and the system directory (empty: the lookup fails).
  WString currentDirectory = u"C:\\Users\\user\\Downloads";
  WString systemDirectory = u"C:\\Windows\\system32";

  // Programs: started by file name, each ending after its run time on the
  // virtual clock, which only Sleep moves on.
  std::map<WString, std::uint32_t> programRunTimesMs;
  struct Process {
    WString file;
    std::uint64_t endsAtMs = 0;
    bool closed = false;
  };
  std::vector<Process> processes;  // the handle of processes[i] is i + 1
  std::vector<ShellExecuteRequest> started;
  std::uint64_t nowMs = 0;
  std::function<void()> onSleep;  // runs after the clock moved on
  static std::size_t HandleIndex(Handle handle);

  // The report programs that are not there to be started (both are, at
  // first), and what each start does besides (a report written, say).
  std::set<SystemProgram> absentPrograms;
  std::function<void(const ShellExecuteRequest&)> onStart;

  // The registry's uninstall entries; false: none of the lists can be read.
  bool uninstallListsReadable = false;
  std::vector<UninstallEntry> uninstallEntries;
  std::vector<WString> filesWritten;  // every WriteWholeFile path
  bool writesFail = false;            // WriteWholeFile fails, leaving nothing
  FileTime writeClock = 1000;         // one on, the time of the next file written

  // Message queue.
  std::deque<Message> queue;
  std::set<Window> unicodeWindows;
  std::vector<Message> translated;
  std::vector<Message> dispatchedW;
  std::vector<Message> dispatchedA;

  // Shell "open" requests.
  Window activeWindow = nullptr;
  struct ShellRequest {
    Window owner;
    WString verb;
    WString file;
    WString parameters;
    int show;
  };
  std::vector<ShellRequest> shellRequests;

  // Every call, in order: "Print", "Lookup 28", "CreateDirectory",
  // "FindFirst", "FindClose", "GetAttributes", "SetAttributes", "Copy",
  // "SetCurrentDirectory", "GetSystemDirectory", "Look for wmic", "Start wmic",
  // "Wait #1 0", "Sleep 10", "ListInstalledPrograms", "Write",
  // "Close #1", "Peek", "GetMessageW", "DispatchMessageA", "Open" ...
  std::vector<std::string> trace;
  std::size_t Count(const std::string& call) const;

  // Memory running out: the call with this number (from 0, in trace order,
  // closing calls not counted as they run in destructors) is traced and then
  // throws std::bad_alloc, as building a string in it would.
  std::size_t allocationFailsAtCall = static_cast<std::size_t>(-1);
  std::size_t CallsThatMayFail() const { return failingCalls_; }

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

 private:
  int GetMessage(Message& message, const char* name);
  void Record(std::string call);
  std::size_t failingCalls_ = 0;
};

}  // namespace velmora
