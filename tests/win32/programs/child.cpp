// A child process for the Win32 tests: velmora_child.exe MILLISECONDS [FILE]
// runs for the given time, then writes its command line (UTF-16) to FILE.
#include <windows.h>
// windows.h first: the shell header relies on its types.
#include <shellapi.h>

#include <cwchar>

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count < 2) return 1;
  Sleep(static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)));
  if (count >= 3) {
    HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::wcslen(line) * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  LocalFree(argv);
  return 7;
}
