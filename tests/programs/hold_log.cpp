// Keeps a log open the way another program might while the tool runs.
//   hold_log lock LOG SIGNALS    opens LOG for reading, sharing nothing
//   hold_log append LOG SIGNALS  appends numbered lines to LOG, sharing
//                                reading and writing, a line a millisecond
// Once LOG is open (and, appending, its first line written) it creates
// SIGNALS\ready; it lets go when SIGNALS\release appears. Appending, it
// then leaves the number of lines it wrote in SIGNALS\appended.
#include "programs.h"
// windows.h (through programs.h) first: the shell header relies on its types.
#include <shellapi.h>

#include <cwchar>

namespace {

bool AppendLine(HANDLE file, unsigned number) {
  char line[32];
  int length = std::snprintf(line, sizeof line, "appended line %06u\r\n", number);
  DWORD written = 0;
  return WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr) &&
         written == static_cast<DWORD>(length);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count != 4) return 2;
  const bool append = std::wcscmp(argv[1], L"append") == 0;
  const std::wstring signals = argv[3];
  HANDLE log = append ? CreateFileW(argv[2], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                      : CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  LocalFree(argv);
  if (log == INVALID_HANDLE_VALUE) return 1;

  unsigned lines = 0;
  if (append && !AppendLine(log, ++lines)) return 1;
  WriteText(signals + L"\\ready", "");
  while (!Exists(signals + L"\\release")) {
    if (append && !AppendLine(log, ++lines)) return 1;
    Sleep(1);
  }
  CloseHandle(log);
  if (append) WriteText(signals + L"\\appended", std::to_string(lines));
  return 0;
}
