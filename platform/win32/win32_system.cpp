// Console, folder lookups, directories and the system version.
#include "platform/win32/windows_headers.h"

#include <cstdio>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace velmora {

namespace {
// Constant-initialised: no start-up code and no guarded local static.
Win32Platform g_platform;
}  // namespace

Platform& SystemPlatform() { return g_platform; }

void Win32Platform::PrintMessage(const WChar* message) { std::fputws(Wide(message), stdout); }

std::int32_t Win32Platform::SHGetFolderPathW(int csidl, WChar (&buffer)[kMaxPath]) {
  auto* wide = reinterpret_cast<wchar_t*>(buffer);
  HRESULT result = ::SHGetFolderPathW(nullptr, csidl, nullptr, 0, wide);
  if (FAILED(result)) buffer[0] = u'\0';
  return result;
}

std::uint32_t Win32Platform::GetVersion() {
  // GetVersion is what tells the two folder layouts apart; its deprecation
  // (the manifest-dependent answer on 8.1 and later) does not matter here,
  // as every answer from 6 up means the newer layout.
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
  return ::GetVersion();
}

bool Win32Platform::CreateDirectoryW(const WString& path) {
  return ::CreateDirectoryW(Wide(path), nullptr) != FALSE;
}

std::uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }

bool Win32Platform::IsDirectory(const WString& path) {
  DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Platform::SetCurrentDirectoryW(const WString& path) {
  return ::SetCurrentDirectoryW(Wide(path)) != FALSE;
}

std::uint32_t Win32Platform::GetSystemDirectoryW(WChar (&buffer)[kMaxPath]) {
  return ::GetSystemDirectoryW(reinterpret_cast<wchar_t*>(buffer), kMaxPath);
}

Window Win32Platform::GetActiveWindow() { return ::GetActiveWindow(); }

void Win32Platform::ShellExecuteW(Window owner, const WString& verb, const WString& file,
                                  const WString& parameters, int show) {
  ::ShellExecuteW(static_cast<HWND>(owner), Wide(verb), Wide(file), Wide(parameters), nullptr,
                  show);
}

}  // namespace velmora
