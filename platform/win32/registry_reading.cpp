#include "platform/win32/registry_reading.h"

#include "platform/win32/wide.h"

namespace velmora::registry {
namespace {

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

bool Exists(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  return ::RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
}

// An update names the entry it belongs to; any text in ParentKeyName, even
// one too long to read, says so.
bool NamesParent(HKEY key) {
  WString parent;
  if (ReadText(key, L"ParentKeyName", parent)) return !parent.empty();
  DWORD type = 0;
  DWORD bytes = 0;
  return ::RegQueryValueExW(key, L"ParentKeyName", nullptr, &type, nullptr, &bytes) ==
             ERROR_SUCCESS &&
         IsText(type) && bytes >= kMaxNameUnits * sizeof(wchar_t);
}

}  // namespace

Key::~Key() {
  if (key_ != nullptr) ::RegCloseKey(key_);
}

bool Key::Open(HKEY parent, const wchar_t* path, REGSAM access) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(parent, path, 0, access, &opened) != ERROR_SUCCESS) return false;
  if (key_ != nullptr) ::RegCloseKey(key_);
  key_ = opened;
  return true;
}

bool ReadText(HKEY key, const wchar_t* name, WString& text) {
  // Stored text holds at most kMaxNameUnits units, a terminator or not;
  // the buffer has one more for the terminator added here.
  wchar_t buffer[kMaxNameUnits + 1];
  DWORD type = 0;
  DWORD bytes = kMaxNameUnits * sizeof(wchar_t);
  const LONG status =
      ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  // ERROR_MORE_DATA: longer than any text used here.
  if (status != ERROR_SUCCESS || !IsText(type) || bytes > kMaxNameUnits * sizeof(wchar_t)) {
    return false;
  }
  buffer[bytes / sizeof(wchar_t)] = L'\0';
  WString read = FromWide(buffer);
  if (read.size() >= kMaxNameUnits) return false;  // no room for a terminator: too long
  text = std::move(read);
  return true;
}

bool ReadNumber(HKEY key, const wchar_t* name, DWORD& number) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || bytes != sizeof(value)) {
    return false;
  }
  number = value;
  return true;
}

bool ReadUninstallList(HKEY root, const wchar_t* path, REGSAM view,
                       std::vector<UninstallEntry>& entries) {
  Key list;
  if (!list.Open(root, path, KEY_ENUMERATE_SUB_KEYS | view)) return false;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxNameUnits];
    DWORD length = kMaxNameUnits;
    const LONG status =
        ::RegEnumKeyExW(list.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    // A name past the limit is skipped, never cut into another key's name.
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (length >= kMaxNameUnits) continue;
    name[length] = L'\0';

    Key program;
    if (!program.Open(list.Get(), name, KEY_QUERY_VALUE | view)) continue;
    UninstallEntry entry;
    // A name that is there but cannot be read whole (too long, not text)
    // is no name to list, nor to leave out as no name.
    if (!ReadText(program.Get(), L"DisplayName", entry.name)) {
      if (Exists(program.Get(), L"DisplayName")) continue;
      entry.name.clear();
    }
    if (!ReadText(program.Get(), L"DisplayVersion", entry.version)) entry.version.clear();
    DWORD systemComponent = 0;
    entry.systemComponent =
        ReadNumber(program.Get(), L"SystemComponent", systemComponent) && systemComponent == 1;
    entry.update = NamesParent(program.Get());
    entries.push_back(std::move(entry));
  }
  return true;
}

}  // namespace velmora::registry
