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

// FILETIME counts 100-nanosecond steps since 1601.
int64_t LocalSeconds(const FILETIME& utc) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  const uint64_t ticks = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
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

std::optional<int64_t> ModifiedTime(const std::filesystem::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return LocalSeconds(data.ftLastWriteTime);
}

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
    entries.push_back({folder / name, ToUtf8(found.cFileName), TypeOf(found),
                       LocalSeconds(found.ftLastWriteTime)});
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
