// Stands in for a program the tool has the shell start (the folder window):
// appends one line, "<name><TAB><time><TAB><command line>", to launches.txt
// in the folder named by VELMORA_RECORD_DIR, then exits.
#include "programs.h"

int main() {
  const std::wstring folder = Environment(L"VELMORA_RECORD_DIR");
  if (folder.empty()) return 1;
  const std::wstring module = ModulePath();
  const std::string line = Utf8(module.substr(module.find_last_of(L"\\/") + 1)) + "\t" + Now() +
                           "\t" + Utf8(GetCommandLineW()) + "\n";
  return WriteText(folder + L"\\launches.txt", line, true) ? 0 : 1;
}
