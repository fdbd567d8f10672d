#include "platform/win32/windows_headers.h"
// windows_headers.h first.
#include "platform/folder_list.h"

namespace velmora::files {

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

EntryType TypeOf(const WIN32_FIND_DATAW& found) {
  // For a reparse point the search reports its tag in dwReserved0.
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      IsReparseTagNameSurrogate(found.dwReserved0)) {
    return EntryType::Link;
  }
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::Folder;
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return EntryType::Other;
  return EntryType::File;
}

}  // namespace

bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error) {
  entries.clear();
  WIN32_FIND_DATAW found;
  const std::filesystem::path pattern = folder / L"*";
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    if (failure == ERROR_FILE_NOT_FOUND) return true;  // no entry at all, not even "."
    error = "error " + std::to_string(failure);
    return false;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({folder / name, ToUtf8(found.cFileName), TypeOf(found)});
  } while (FindNextFileW(search, &found));
  const DWORD failure = GetLastError();
  FindClose(search);
  if (failure != ERROR_NO_MORE_FILES) {
    error = "error " + std::to_string(failure);
    return false;
  }
  return true;
}

}  // namespace velmora::files
