// Stands in for a report program the tool starts ("wmic", "msinfo32.exe"):
// built once under each name. In the folder named by VELMORA_RECORD_DIR it
// leaves <name>.start, <name>.module, <name>.cmdline and <name>.end (times as
// seconds since 1970, its own path and command line as UTF-8); it runs for VELMORA_RUN_MS_<NAME>
// milliseconds (upper case, no extension) and writes the report named in its
// parameters: "/output:PATH" or the argument after "/nfo". VELMORA_FAIL_<NAME>
// makes it fail right after its start records instead: "crash" ends it with
// an access violation, "exit" with status 1, without a report either way.
// Without a record folder it does nothing, as a program that only starts and
// exits.
#include <windows.h>
// windows.h first: the shell header relies on its types.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>

#include "utf8.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768];
  DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

bool WriteText(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return written == text.size();
}

std::string Now() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  char text[64];
  std::snprintf(text, sizeof text, "%.6f",
                static_cast<double>(ticks - 116444736000000000ULL) / 1e7);
  return text;
}

// The stand-in's own setting, VELMORA_<KIND>_<NAME>, NAME in upper case
// without its extension.
std::wstring Setting(const wchar_t* kind, const std::wstring& name) {
  std::wstring variable = std::wstring(L"VELMORA_") + kind + L"_" + name.substr(0, name.find(L'.'));
  for (wchar_t& c : variable) c = static_cast<wchar_t>(std::towupper(c));
  return Environment(variable.c_str());
}

// Ends the process the way an unhandled fault does, but without Wine
// starting its debugger over it.
LONG WINAPI EndWithoutDebugger(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

}  // namespace

int main() {
  const std::wstring records = Environment(L"VELMORA_RECORD_DIR");
  if (records.empty()) return 0;

  wchar_t module[MAX_PATH];
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring name = module;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const std::wstring record = records + L"\\" + name;
  WriteText(record + L".start", Now());
  WriteText(record + L".module", Utf8(module));
  WriteText(record + L".cmdline", Utf8(GetCommandLineW()));

  const std::wstring failure = Setting(L"FAIL", name);
  if (failure == L"crash") {
    SetUnhandledExceptionFilter(EndWithoutDebugger);
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }
  if (failure == L"exit") return 1;
  Sleep(static_cast<DWORD>(std::wcstoul(Setting(L"RUN_MS", name).c_str(), nullptr, 10)));

  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring output;
  for (int i = 1; argv != nullptr && i < count; ++i) {
    if (std::wcsncmp(argv[i], L"/output:", 8) == 0) output = argv[i] + 8;
    if (std::wcscmp(argv[i], L"/nfo") == 0 && i + 1 < count) output = argv[i + 1];
  }
  if (argv != nullptr) LocalFree(argv);
  if (!output.empty()) WriteText(output, "written by " + Utf8(name) + "\n");

  WriteText(record + L".end", Now());
  return 0;
}
