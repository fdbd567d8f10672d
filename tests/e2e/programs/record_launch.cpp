// Stands in for a program the tool has the shell start: appends one line,
// "<program name><TAB><command line>", to launches.txt in the folder named
// by VELMORA_RECORD_DIR, then exits.
#include <windows.h>

#include <string>

#include "utf8.h"

namespace {}  // namespace

int main() {
  wchar_t folder[32768];
  if (GetEnvironmentVariableW(L"VELMORA_RECORD_DIR", folder, 32768) == 0) return 1;
  wchar_t module[MAX_PATH];
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring name = module;
  name = name.substr(name.find_last_of(L"\\/") + 1);

  std::string line = Utf8(name) + "\t" + Utf8(GetCommandLineW()) + "\n";
  std::wstring log = std::wstring(folder) + L"\\launches.txt";
  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
