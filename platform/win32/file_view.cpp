#include "platform/win32/windows_headers.h"
// windows_headers.h first.
#include "platform/file_view.h"

namespace velmora::files {

namespace {

class Win32FileView : public FileView {
 public:
  Win32FileView(HANDLE file, HANDLE mapping, uint64_t size)
      : file_(file), mapping_(mapping), size_(size) {}
  ~Win32FileView() override {
    Unmap();
    CloseHandle(mapping_);
    CloseHandle(file_);
  }
  uint64_t size() const override { return size_; }
  const char* Map(uint64_t offset, std::size_t length) override {
    Unmap();
    if (offset >= size_ || length == 0) return nullptr;
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
  HANDLE mapping_;
  uint64_t size_;
  void* base_ = nullptr;
};

}  // namespace

std::unique_ptr<FileView> FileView::Open(const std::filesystem::path& path) {
  HANDLE file = CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart <= 0) {
    CloseHandle(file);
    return nullptr;
  }
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32FileView>(file, mapping, static_cast<uint64_t>(size.QuadPart));
}

}  // namespace velmora::files
