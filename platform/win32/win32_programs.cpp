// The programs of the system: whether a report program is there, the
// installed programs as Windows lists them, and a file written whole.
#include "platform/win32/windows_headers.h"

#include "platform/win32/registry_reading.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace velmora {
namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kMsInfoAppPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msinfo32.exe";

bool IsFile(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The system directory as this process sees it (a 32-bit program under
// WOW64 is shown SysWOW64 under System32's name); empty when unknown.
WString SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return WString();
  return WString(reinterpret_cast<const WChar*>(buffer), length);
}

// Where the App Paths entry of msinfo32 points (Windows XP keeps msinfo32
// under Common Files), in this process's view of the registry: its default
// value, environment references expanded, quotes taken off.
WString MsInfoAppPath() {
  registry::Key key;
  if (!key.Open(HKEY_LOCAL_MACHINE, kMsInfoAppPath, KEY_QUERY_VALUE)) return WString();
  WString stored;
  if (!registry::ReadText(key.Get(), nullptr, stored)) return WString();
  wchar_t expanded[MAX_PATH];
  const DWORD length = ::ExpandEnvironmentStringsW(Wide(stored), expanded, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return WString();
  WString path = FromWide(expanded);
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
    path = path.substr(1, path.size() - 2);
  }
  return path;
}

// IsWow64Process is looked up, not imported: Windows XP before SP2 lacks it,
// and a system without it runs no WOW64.
bool RunsUnderWow64() {
  using IsWow64ProcessCall = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  FARPROC found = ::GetProcAddress(kernel, "IsWow64Process");
  if (found == nullptr) return false;
  // Through the type that matches every function, so that the compiler
  // takes the cast as meant.
  auto isWow64Process = reinterpret_cast<IsWow64ProcessCall>(reinterpret_cast<void (*)()>(found));
  BOOL wow64 = FALSE;
  return isWow64Process(::GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
}

}  // namespace

bool Win32Platform::SystemProgramExists(SystemProgram program) {
  const WString system = SystemDirectory();
  if (program == SystemProgram::Wmic) {
    return !system.empty() && IsFile(system + u"\\wbem\\wmic.exe");
  }
  if (!system.empty() && IsFile(system + u"\\msinfo32.exe")) return true;
  const WString registered = MsInfoAppPath();
  return !registered.empty() && IsFile(registered);
}

bool Win32Platform::ListInstalledPrograms(std::vector<UninstallEntry>& entries) {
  entries.clear();
  bool read = false;
  // The machine's list in both views of a 64-bit system: a 64-bit process
  // sees the 64-bit one and asks for the 32-bit one, a 32-bit one under
  // WOW64 the other way round; a 32-bit system has one view only.
  if (RunsUnderWow64()) {
    read |= registry::ReadUninstallList(HKEY_LOCAL_MACHINE, kUninstall, KEY_WOW64_64KEY, entries);
    read |= registry::ReadUninstallList(HKEY_LOCAL_MACHINE, kUninstall, 0, entries);
  } else {
    read |= registry::ReadUninstallList(HKEY_LOCAL_MACHINE, kUninstall, 0, entries);
    if (sizeof(void*) == 8) {
      read |= registry::ReadUninstallList(HKEY_LOCAL_MACHINE, kUninstall, KEY_WOW64_32KEY, entries);
    }
  }
  read |= registry::ReadUninstallList(HKEY_CURRENT_USER, kUninstall, 0, entries);
  return read;
}

bool Win32Platform::WriteWholeFile(const WString& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  std::size_t done = 0;
  while (written && done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    DWORD wrote = 0;
    written = ::WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) != FALSE && wrote > 0;
    done += wrote;
  }
  written = ::CloseHandle(file) != FALSE && written;
  // Half a list would read as a whole one that lacks programs.
  if (!written) ::DeleteFileW(Wide(path));
  return written;
}

}  // namespace velmora
