// Directory searches, file copies and file attributes.
#include "platform/win32/windows_headers.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace velmora {
namespace {

FileTime ToFileTime(const FILETIME& time) {
  return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFILETIME(FileTime time) {
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
  result.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return result;
}

FindEntry ToEntry(const WIN32_FIND_DATAW& data) {
  FindEntry entry;
  entry.name = FromWide(data.cFileName);
  entry.lastWriteTime = ToFileTime(data.ftLastWriteTime);
  entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return entry;
}

class Win32FileSearch final : public FileSearch {
 public:
  Win32FileSearch(HANDLE handle, const WIN32_FIND_DATAW& first) : handle_(handle), first_(first) {}
  ~Win32FileSearch() override { ::FindClose(handle_); }
  Win32FileSearch(const Win32FileSearch&) = delete;
  Win32FileSearch& operator=(const Win32FileSearch&) = delete;

  bool Next(FindEntry& entry) override {
    if (pendingFirst_) {
      pendingFirst_ = false;
      entry = ToEntry(first_);
      return true;
    }
    WIN32_FIND_DATAW data;
    if (!::FindNextFileW(handle_, &data)) return false;
    entry = ToEntry(data);
    return true;
  }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAW first_;
  bool pendingFirst_ = true;
};

}  // namespace

std::unique_ptr<FileSearch> Win32Platform::FindFirstFileW(const WString& searchText) {
  WIN32_FIND_DATAW data;
  HANDLE handle = ::FindFirstFileW(Wide(searchText), &data);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32FileSearch>(handle, data);
}

long Win32Platform::CompareFileTime(FileTime first, FileTime second) {
  FILETIME a = ToFILETIME(first);
  FILETIME b = ToFILETIME(second);
  return ::CompareFileTime(&a, &b);
}

std::uint32_t Win32Platform::GetFileAttributesW(const WString& path) {
  return ::GetFileAttributesW(Wide(path));
}

bool Win32Platform::SetFileAttributesW(const WString& path, std::uint32_t attributes) {
  return ::SetFileAttributesW(Wide(path), attributes) != FALSE;
}

bool Win32Platform::CopyFileW(const WString& source, const WString& destination) {
  return ::CopyFileW(Wide(source), Wide(destination), FALSE) != FALSE;
}

}  // namespace velmora
