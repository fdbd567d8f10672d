// Helpers of the Win32 tests: the child program built beside them and a
// scratch folder.
#pragma once

#include <windows.h>

#include <string>

#include "platform/text.h"

namespace velmora {

inline WString FromWideText(const std::wstring& text) {
  return WString(reinterpret_cast<const WChar*>(text.c_str()), text.size());
}

// The folder of this test program, with its trailing backslash.
inline std::wstring ProgramFolder() {
  wchar_t module[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring path(module, length);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// velmora_child.exe MILLISECONDS [FILE]: runs for the given time, then
// writes its command line to FILE; exits with 7.
inline WString ChildProgram() { return FromWideText(ProgramFolder() + L"velmora_child.exe"); }

}  // namespace velmora
