// Lists what FindFirstFileW/FindNextFileW yield: for each search text on
// the command line a line "> text", then one line per entry with its long
// name, all in UTF-8. The Windows side of the name-matching comparison.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace

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
