// Lists what FindFirstFileW/FindNextFileW yield: for each search text on
// the command line a line "> text", then one line per entry with its long
// name, all in UTF-8. The Windows side of the name-matching comparison.
#include "programs.h"
// windows.h (through programs.h) first: the shell header relies on its types.
#include <shellapi.h>

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr) return 2;
  for (int i = 1; i < count; ++i) {
    std::printf("> %s\n", Utf8(args[i]).c_str());
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(args[i], &data);
    if (search == INVALID_HANDLE_VALUE) {
      std::printf("none\t%lu\n", GetLastError());
      continue;
    }
    do {
      std::printf("%s\n", Utf8(data.cFileName).c_str());
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  LocalFree(args);
  return 0;
}
