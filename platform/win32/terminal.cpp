#include "platform/win32/windows_headers.h"
// windows_headers.h first.
#include "platform/terminal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace velmora::terminal {

namespace {

std::string ToUtf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

bool Write(DWORD which, FILE* stream, std::string_view text) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
    int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
    // The console takes a bounded amount at a time on old Windows.
    for (std::size_t at = 0; at < wide.size();) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
      DWORD written = 0;
      if (!WriteConsoleW(handle, wide.data() + at, chunk, &written, nullptr) || written == 0)
        return false;
      at += written;
    }
    return true;
  }
  // Redirected: the UTF-8 bytes as they are.
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> out;
  for (int i = 1; i < count; ++i) out.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return out;
}

bool ColoursOnStdout() {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode))
    return false;
  if (std::getenv("NO_COLOR") != nullptr) return false;
  // Windows 10 and later understand ANSI colours once asked; older consoles
  // refuse the mode and get plain text.
  const DWORD kVirtualTerminal = 0x0004;
  return (mode & kVirtualTerminal) != 0 || SetConsoleMode(handle, mode | kVirtualTerminal) != 0;
}

bool StartedAlone() {
  // A console made for this process alone lists only it; one the program
  // shares with cmd.exe or PowerShell lists them too; no console lists none.
  // Output sent to a file or a pipe is read by whoever sent it there.
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1 &&
         GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
}

bool OpenWithShell(const std::filesystem::path& path) {
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool StderrIsTerminal() {
  DWORD mode = 0;
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

bool WriteStdout(std::string_view text, const std::vector<Painted>& paints) {
  return Write(STD_OUTPUT_HANDLE, stdout,
               Shown(text, paints, !paints.empty() && ColoursOnStdout()));
}

bool WriteStderr(std::string_view text) {
  return Write(STD_ERROR_HANDLE, stderr, Shown(text, {}, false));
}

bool ShowProgress(std::string_view line, bool last) {
  return Write(STD_ERROR_HANDLE, stderr, "\r" + Shown(line, {}, false) + (last ? "\n" : ""));
}

// Windows has no signal for a closed pipe: the write fails and says so.
void KeepRunningWhenOutputCloses() {}

}  // namespace velmora::terminal
