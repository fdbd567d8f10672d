#include "platform/win32/windows_headers.h"
// windows_headers.h first.
#include <winioctl.h>

#include <vector>

#include "platform/file_view.h"

namespace velmora::files {

namespace {

class Win32FileView : public FileView {
 public:
  Win32FileView(HANDLE file, HANDLE mapping, uint64_t size)
      : file_(file), mapping_(mapping), size_(size) {}
  ~Win32FileView() override {
    Unmap();
    if (mapping_ != nullptr) CloseHandle(mapping_);
    CloseHandle(file_);
  }
  uint64_t size() const override { return size_; }
  const char* Map(uint64_t offset, std::size_t length) override {
    Unmap();
    if (offset >= size_ || length == 0 || mapping_ == nullptr) return nullptr;
    if (length > size_ - offset) length = static_cast<std::size_t>(size_ - offset);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    uint64_t granularity = system.dwAllocationGranularity;
    uint64_t start = offset - offset % granularity;
    SIZE_T span = static_cast<SIZE_T>(offset - start) + length;
    void* at = MapViewOfFile(mapping_, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                             static_cast<DWORD>(start & 0xFFFFFFFFu), span);
    if (at == nullptr) return nullptr;
    base_ = at;
    return static_cast<const char*>(at) + (offset - start);
  }

 private:
  void Unmap() {
    if (base_ != nullptr) UnmapViewOfFile(base_);
    base_ = nullptr;
  }
  HANDLE file_;
  HANDLE mapping_;  // null for an empty file, which cannot be mapped
  uint64_t size_;
  void* base_ = nullptr;
};

HANDLE OpenForReading(const std::filesystem::path& path, DWORD extra_flags) {
  return CreateFileW(path.c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | extra_flags, nullptr);
}

// Whether the reparse point opened as `file` names another file or folder
// (a symbolic link, a junction) rather than holding this file's own data
// elsewhere (a cloud placeholder, a deduplicated file).
bool NamesAnotherFile(HANDLE file) {
  std::vector<unsigned char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD got = 0;
  if (!DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &got, nullptr) ||
      got < sizeof(DWORD)) {
    return true;  // a reparse point that cannot be told apart is not trusted
  }
  DWORD tag = 0;
  memcpy(&tag, buffer.data(), sizeof tag);
  return IsReparseTagNameSurrogate(tag);
}

}  // namespace

std::unique_ptr<FileView> FileView::Open(const std::filesystem::path& path, Links links,
                                         std::string& problem) {
  HANDLE file =
      OpenForReading(path, links == Links::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : DWORD{0});
  if (file == INVALID_HANDLE_VALUE) {
    problem = "it cannot be opened (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) {
    CloseHandle(file);
    problem = "it cannot be examined";
    return nullptr;
  }
  if (links == Links::Refuse && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (NamesAnotherFile(file)) {
      CloseHandle(file);
      problem = "it is a symbolic link or junction, and links are never followed";
      return nullptr;
    }
    // Its data lies elsewhere (a cloud placeholder): opened again, so that
    // the file's own bytes are read. A link put at the name in between
    // leads to another file, which its identity gives away.
    const BY_HANDLE_FILE_INFORMATION placeholder = information;
    CloseHandle(file);
    file = OpenForReading(path, 0);
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &information)) {
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      problem = "it cannot be opened";
      return nullptr;
    }
    if (information.dwVolumeSerialNumber != placeholder.dwVolumeSerialNumber ||
        information.nFileIndexHigh != placeholder.nFileIndexHigh ||
        information.nFileIndexLow != placeholder.nFileIndexLow) {
      CloseHandle(file);
      problem = "it was replaced while it was being opened";
      return nullptr;
    }
  }
  // A pipe or a device answers to a file's name as well; only a file on a
  // disk is read.
  if (GetFileType(file) != FILE_TYPE_DISK ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(file);
    problem = "it is not a regular file (a folder, pipe or device)";
    return nullptr;
  }
  const uint64_t size =
      (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  HANDLE mapping = nullptr;
  if (size > 0) {
    mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
      CloseHandle(file);
      problem = "it cannot be mapped for reading (error " + std::to_string(GetLastError()) + ")";
      return nullptr;
    }
  }
  return std::make_unique<Win32FileView>(file, mapping, size);
}

}  // namespace velmora::files
