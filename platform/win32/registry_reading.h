// Reading the registry as Windows XP allows (RegOpenKeyExW, RegEnumKeyExW,
// RegQueryValueExW, RegCloseKey), never trusting what is stored: sizes are
// checked, text is terminated whether or not it was stored terminated, and
// names too long for their limit are skipped rather than cut.
#pragma once

#include "platform/win32/windows_headers.h"

#include <vector>

#include "platform/platform.h"

namespace velmora::registry {

// Longest key name and text value read, in UTF-16 units with the
// terminator (MAX_PATH); anything longer is not used at all.
constexpr DWORD kMaxNameUnits = 260;

// An open key, closed when destroyed.
class Key {
 public:
  Key() = default;
  ~Key();
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  // RegOpenKeyExW(parent, path, 0, access | view); false when it cannot be.
  bool Open(HKEY parent, const wchar_t* path, REGSAM access);
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The text of value `name` (REG_SZ or REG_EXPAND_SZ, not expanded), up to
// its first terminator; false when there is none, it is of another type or
// it does not fit in kMaxNameUnits.
bool ReadText(HKEY key, const wchar_t* name, WString& text);

// The number in value `name` when it is a REG_DWORD.
bool ReadNumber(HKEY key, const wchar_t* name, DWORD& number);

// Appends the entries below `path` of `root` in the registry view `view`
// (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY): one per subkey whose name fits
// the limit and whose DisplayName, if any, fits as well. False when the
// list itself cannot be opened.
bool ReadUninstallList(HKEY root, const wchar_t* path, REGSAM view,
                       std::vector<UninstallEntry>& entries);

}  // namespace velmora::registry
