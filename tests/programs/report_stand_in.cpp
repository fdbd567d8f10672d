// Stands in for a report program the tool starts ("wmic", "msinfo32.exe"),
// built once under each name. With STEM its name in lower case without
// ".exe", it leaves in the folder named by VELMORA_RECORD_DIR:
//   STEM.start, STEM.end   times (seconds since 1970)
//   STEM.module            its own path
//   STEM.args              its arguments after the program name, each ended by NUL
// and writes the report named in its parameters ("/output:PATH", or the
// argument after "/nfo"). Settings, NAME being STEM in upper case:
//   VELMORA_AFTER_NAME=FILE   first wait (up to a minute) until FILE appears
//                             in the record folder: order without timing
//   VELMORA_RUN_MS_NAME=MS    then run this long
//   VELMORA_FAIL_NAME=crash   end with an access violation right after the
//                    =exit    start records, or with status 1; no report
// Without a record folder it does nothing, as a program that only starts
// and exits.
#include "programs.h"
// windows.h (through programs.h) first: the shell header relies on its types.
#include <shellapi.h>

#include <cwchar>

namespace {

// Ends the process the way an unhandled fault does, but without Wine
// starting its debugger over it.
LONG WINAPI EndWithoutDebugger(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

}  // namespace

int main() {
  const std::wstring records = Environment(L"VELMORA_RECORD_DIR");
  if (records.empty()) return 0;
  const std::wstring module = ModulePath();
  const std::wstring stem = Stem(module);
  std::wstring upper = stem;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - 32 : c);
  const std::wstring record = records + L"\\" + stem;
  WriteText(record + L".start", Now());
  WriteText(record + L".module", Utf8(module));

  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string arguments;
  std::wstring output;
  for (int i = 1; argv != nullptr && i < count; ++i) {
    arguments += Utf8(argv[i]) + '\0';
    if (std::wcsncmp(argv[i], L"/output:", 8) == 0) output = argv[i] + 8;
    if (std::wcscmp(argv[i], L"/nfo") == 0 && i + 1 < count) output = argv[i + 1];
  }
  if (argv != nullptr) LocalFree(argv);
  WriteText(record + L".args", arguments);

  const std::wstring failure = Environment((L"VELMORA_FAIL_" + upper).c_str());
  if (failure == L"crash") {
    SetUnhandledExceptionFilter(EndWithoutDebugger);
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }
  if (failure == L"exit") return 1;
  const std::wstring after = Environment((L"VELMORA_AFTER_" + upper).c_str());
  for (int waited = 0; !after.empty() && !Exists(records + L"\\" + after) && waited < 6000;
       ++waited) {
    Sleep(10);
  }
  Sleep(static_cast<DWORD>(
      std::wcstoul(Environment((L"VELMORA_RUN_MS_" + upper).c_str()).c_str(), nullptr, 10)));
  if (!output.empty()) WriteText(output, "written by " + Utf8(stem) + "\n");
  WriteText(record + L".end", Now());
  return 0;
}
