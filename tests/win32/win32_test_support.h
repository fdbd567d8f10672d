// Helpers of the Win32 tests: the child program built beside them and a
// scratch folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
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

namespace fs = std::filesystem;

inline fs::path ToFs(const WString& path) {
  return fs::path(reinterpret_cast<const wchar_t*>(path.c_str()));
}

inline WString FromFs(const fs::path& path) {
  const std::wstring& wide = path.native();
  return WString(reinterpret_cast<const WChar*>(wide.c_str()), wide.size());
}

// A scratch folder below the system's temporary folder, named after the
// test and removed afterwards.
class ScratchFolder : public ::testing::Test {
 protected:
  ScratchFolder() {
    root =
        fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root);
    fs::create_directories(root);
  }
  ~ScratchFolder() override {
    std::error_code ignored;
    // Read-only files would stay behind.
    for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(root, ignored);
  }
  WString Path(const WString& name) const { return FromFs(root) + u"\\" + name; }

  fs::path root;
};

}  // namespace velmora
