#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <new>

#include "platform/name_match.h"
#include "platform/utf.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

WChar FoldAscii(WChar c) {
  return c >= u'A' && c <= u'Z' ? static_cast<WChar>(c - u'A' + u'a') : c;
}

bool SamePath(const WString& a, const WString& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](WChar x, WChar y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

// The folder part of a path (before its last backslash) and the name after.
std::pair<WString, WString> SplitPath(const WString& path) {
  std::size_t slash = path.rfind(u'\\');
  if (slash == WString::npos) return {WString(), path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

std::string Label(Handle handle) { return "#" + std::to_string(FakePlatform::HandleIndex(handle)); }

class FakeSearch final : public FileSearch {
 public:
  FakeSearch(FakePlatform& platform, std::vector<FindEntry> entries)
      : platform_(platform), entries_(std::move(entries)) {
    ++platform_.openSearches;
  }
  ~FakeSearch() override {
    --platform_.openSearches;
    platform_.trace.push_back("FindClose");
  }
  FakeSearch(const FakeSearch&) = delete;
  FakeSearch& operator=(const FakeSearch&) = delete;

  bool Next(FindEntry& entry) override {
    if (next_ >= entries_.size()) return false;
    entry = entries_[next_++];
    return true;
  }

 private:
  FakePlatform& platform_;
  std::vector<FindEntry> entries_;
  std::size_t next_ = 0;
};

}  // namespace

FakePlatform::FakePlatform() {
  folders[CSIDL_DESKTOP] = {0, u"C:\\Users\\user\\Desktop"};
  folders[CSIDL_LOCAL_APPDATA] = {0, u"C:\\Users\\user\\AppData\\Local"};
  folders[CSIDL_WINDOWS] = {0, u"C:\\Windows"};
  AddDirectory(u"C:\\Users\\user\\Desktop");
  AddDirectory(u"C:\\Users\\user\\AppData\\Local\\Temp");
  AddDirectory(u"C:\\Users\\user\\Downloads");
  AddDirectory(u"C:\\Windows");
  AddDirectory(u"C:\\Windows\\INF");
  AddDirectory(u"C:\\Windows\\system32");
}

std::string FakePlatform::OutputUtf8() const { return Utf16ToUtf8(output); }

FakePlatform::Node& FakePlatform::AddDirectory(const WString& path, FileTime lastWriteTime) {
  nodes.push_back(Node{path, true, std::string(), lastWriteTime, false, false});
  return nodes.back();
}

FakePlatform::Node& FakePlatform::AddFile(const WString& path, std::string contents,
                                          FileTime lastWriteTime) {
  if (Node* existing = FindNode(path)) {
    existing->contents = std::move(contents);
    existing->lastWriteTime = lastWriteTime;
    return *existing;
  }
  nodes.push_back(Node{path, false, std::move(contents), lastWriteTime, false, false});
  return nodes.back();
}

FakePlatform::Node* FakePlatform::FindNode(const WString& path) {
  for (Node& node : nodes) {
    if (SamePath(node.path, path)) return &node;
  }
  return nullptr;
}

void FakePlatform::Record(std::string call) {
  trace.push_back(std::move(call));
  if (failingCalls_++ == allocationFailsAtCall) throw std::bad_alloc();
}

std::size_t FakePlatform::Count(const std::string& call) const {
  return static_cast<std::size_t>(std::count(trace.begin(), trace.end(), call));
}

void FakePlatform::PrintMessage(const WChar* message) {
  Record("Print");
  output += message;
  messages.emplace_back(message);
}

std::int32_t FakePlatform::SHGetFolderPathW(int csidl, WChar (&buffer)[kMaxPath]) {
  Record("Lookup " + std::to_string(csidl));
  folderLookups.push_back(csidl);
  buffer[0] = u'\0';
  auto answer = folders.find(csidl);
  if (answer == folders.end()) return static_cast<std::int32_t>(0x80004005u);
  if (answer->second.result < 0) return answer->second.result;
  const WString& path = answer->second.path;
  if (path.size() + 1 > kMaxPath) return static_cast<std::int32_t>(0x80004005u);
  path.copy(buffer, path.size());
  buffer[path.size()] = u'\0';
  return answer->second.result;
}

std::uint32_t FakePlatform::GetVersion() {
  Record("GetVersion");
  return version;
}

bool FakePlatform::CreateDirectoryW(const WString& path) {
  Record("CreateDirectory");
  if (FindNode(path)) {
    lastError = ERROR_ALREADY_EXISTS;
    return false;
  }
  Node* parent = FindNode(SplitPath(path).first);
  if (!parent || !parent->isDirectory) {
    lastError = ERROR_PATH_NOT_FOUND;
    return false;
  }
  AddDirectory(path);
  createdDirectories.push_back(path);
  lastError = 0;
  return true;
}

std::uint32_t FakePlatform::GetLastError() { return lastError; }

bool FakePlatform::IsDirectory(const WString& path) {
  Node* node = FindNode(path);
  return node && node->isDirectory;
}

std::uint32_t FakePlatform::GetFileAttributesW(const WString& path) {
  Record("GetAttributes");
  Node* node = FindNode(path);
  if (!node) {
    lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
  }
  std::uint32_t attributes = node->readOnly ? FILE_ATTRIBUTE_READONLY : 0;
  if (node->isDirectory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool FakePlatform::SetFileAttributesW(const WString& path, std::uint32_t attributes) {
  Record("SetAttributes");
  attributesSet.push_back(path);
  Node* node = FindNode(path);
  if (!node) {
    lastError = ERROR_FILE_NOT_FOUND;
    return false;
  }
  node->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return true;
}

bool FakePlatform::SetCurrentDirectoryW(const WString& path) {
  Record("SetCurrentDirectory");
  if (!IsDirectory(path)) {
    lastError = ERROR_PATH_NOT_FOUND;
    return false;
  }
  currentDirectory = path;
  return true;
}

std::uint32_t FakePlatform::GetSystemDirectoryW(WChar (&buffer)[kMaxPath]) {
  Record("GetSystemDirectory");
  buffer[0] = u'\0';
  if (systemDirectory.empty()) return 0;
  if (systemDirectory.size() + 1 > kMaxPath)
    return static_cast<std::uint32_t>(systemDirectory.size() + 1);
  systemDirectory.copy(buffer, systemDirectory.size());
  buffer[systemDirectory.size()] = u'\0';
  return static_cast<std::uint32_t>(systemDirectory.size());
}

std::unique_ptr<FileSearch> FakePlatform::FindFirstFileW(const WString& searchText) {
  Record("FindFirst");
  searches.push_back(searchText);
  auto [folder, pattern] = SplitPath(searchText);
  std::vector<FindEntry> entries;
  for (const Node& node : nodes) {
    auto [parent, name] = SplitPath(node.path);
    if (SamePath(parent, folder) && MatchesFileNamePattern(pattern, name)) {
      entries.push_back(FindEntry{name, node.lastWriteTime, node.isDirectory});
    }
  }
  if (entries.empty()) {
    lastError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  return std::make_unique<FakeSearch>(*this, std::move(entries));
}

long FakePlatform::CompareFileTime(FileTime first, FileTime second) {
  return first < second ? -1 : first > second ? 1 : 0;
}

bool FakePlatform::CopyFileW(const WString& source, const WString& destination) {
  Record("Copy");
  Node* from = FindNode(source);
  Node* to = FindNode(destination);
  Node* toFolder = FindNode(SplitPath(destination).first);
  bool ok = from && !from->isDirectory && !from->locked && toFolder && toFolder->isDirectory &&
            !(to && (to->isDirectory || to->locked || to->readOnly));
  copies.push_back(Copy{source, destination, ok});
  if (!ok) {
    lastError = ERROR_ACCESS_DENIED;
    return false;
  }
  if (to) {
    to->contents = from->contents;
    to->lastWriteTime = from->lastWriteTime;
    to->readOnly = from->readOnly;
  } else {
    Node copy = *from;
    copy.path = destination;
    nodes.push_back(copy);
  }
  return true;
}

std::size_t FakePlatform::HandleIndex(Handle handle) {
  return reinterpret_cast<std::size_t>(handle);
}

Handle FakePlatform::ShellExecuteExW(const ShellExecuteRequest& request) {
  Record("Start " + Utf16ToUtf8(request.file));
  started.push_back(request);
  if (onStart) onStart(request);
  auto program = programRunTimesMs.find(request.file);
  if (program == programRunTimesMs.end()) return nullptr;
  processes.push_back(Process{request.file, nowMs + program->second, false});
  // Without SEE_MASK_NOCLOSEPROCESS the shell keeps no handle for the caller.
  if ((request.mask & SEE_MASK_NOCLOSEPROCESS) == 0) {
    processes.back().closed = true;
    return nullptr;
  }
  return reinterpret_cast<Handle>(processes.size());
}

std::uint32_t FakePlatform::WaitForSingleObject(Handle handle, std::uint32_t timeoutMs) {
  Record("Wait " + Label(handle) + " " + std::to_string(timeoutMs));
  std::size_t index = HandleIndex(handle);
  if (index == 0 || index > processes.size() || processes[index - 1].closed) return WAIT_FAILED;
  Process& process = processes[index - 1];
  if (nowMs >= process.endsAtMs) return WAIT_OBJECT_0;
  if (timeoutMs == 0) return WAIT_TIMEOUT;
  nowMs = std::min<std::uint64_t>(process.endsAtMs, nowMs + timeoutMs);
  return nowMs >= process.endsAtMs ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void FakePlatform::Sleep(std::uint32_t milliseconds) {
  Record("Sleep " + std::to_string(milliseconds));
  nowMs += milliseconds;
  if (onSleep) onSleep();
}

bool FakePlatform::CloseHandle(Handle handle) {
  trace.push_back("Close " + Label(handle));
  std::size_t index = HandleIndex(handle);
  if (index == 0 || index > processes.size() || processes[index - 1].closed) return false;
  processes[index - 1].closed = true;
  return true;
}

bool FakePlatform::PeekMessageNoRemove(Message& message) {
  Record("Peek");
  if (queue.empty()) return false;
  message = queue.front();
  return true;
}

bool FakePlatform::IsWindowUnicode(Window window) {
  return window != nullptr && unicodeWindows.count(window) != 0;
}

int FakePlatform::GetMessage(Message& message, const char* name) {
  Record(name);
  if (queue.empty()) return -1;  // a real queue would block here
  message = queue.front();
  queue.pop_front();
  return message.message == WM_QUIT ? 0 : 1;
}

int FakePlatform::GetMessageW(Message& message) { return GetMessage(message, "GetMessageW"); }
int FakePlatform::GetMessageA(Message& message) { return GetMessage(message, "GetMessageA"); }

void FakePlatform::TranslateMessage(const Message& message) {
  Record("TranslateMessage");
  translated.push_back(message);
}

void FakePlatform::DispatchMessageW(const Message& message) {
  Record("DispatchMessageW");
  dispatchedW.push_back(message);
}

void FakePlatform::DispatchMessageA(const Message& message) {
  Record("DispatchMessageA");
  dispatchedA.push_back(message);
}

bool FakePlatform::SystemProgramExists(SystemProgram program) {
  Record(program == SystemProgram::Wmic ? "Look for wmic" : "Look for msinfo32");
  return absentPrograms.count(program) == 0;
}

bool FakePlatform::ListInstalledPrograms(std::vector<UninstallEntry>& entries) {
  Record("ListInstalledPrograms");
  entries.clear();
  if (!uninstallListsReadable) return false;
  entries = uninstallEntries;
  return true;
}

bool FakePlatform::WriteWholeFile(const WString& path, const std::string& bytes) {
  Record("Write");
  filesWritten.push_back(path);
  Node* folder = FindNode(SplitPath(path).first);
  Node* existing = FindNode(path);
  if (writesFail || !folder || !folder->isDirectory ||
      (existing && (existing->isDirectory || existing->locked || existing->readOnly))) {
    lastError = ERROR_ACCESS_DENIED;
    return false;
  }
  AddFile(path, bytes, ++writeClock);
  return true;
}

Window FakePlatform::GetActiveWindow() {
  Record("GetActiveWindow");
  return activeWindow;
}

void FakePlatform::ShellExecuteW(Window owner, const WString& verb, const WString& file,
                                 const WString& parameters, int show) {
  Record("Open");
  shellRequests.push_back(ShellRequest{owner, verb, file, parameters, show});
}

}  // namespace velmora
