// Programs started through the shell, and waiting for them.
#include "platform/win32/windows_headers.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace velmora {

Handle Win32Platform::ShellExecuteExW(const ShellExecuteRequest& request) {
  SHELLEXECUTEINFOW info;
  ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = request.mask;
  info.nShow = request.show;
  info.lpVerb = Wide(request.verb);
  info.lpFile = Wide(request.file);
  info.lpParameters = Wide(request.parameters);
  ::ShellExecuteExW(&info);
  return info.hProcess;
}

std::uint32_t Win32Platform::WaitForSingleObject(Handle handle, std::uint32_t timeoutMs) {
  return ::WaitForSingleObject(static_cast<HANDLE>(handle), timeoutMs);
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool Win32Platform::CloseHandle(Handle handle) {
  return ::CloseHandle(static_cast<HANDLE>(handle)) != FALSE;
}

}  // namespace velmora
