#include "platform/file_view.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::files {

namespace {

class PosixFileView : public FileView {
 public:
  PosixFileView(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFileView() override {
    Unmap();
    close(fd_);
  }
  uint64_t size() const override { return size_; }
  const char* Map(uint64_t offset, std::size_t length) override {
    Unmap();
    if (offset >= size_ || length == 0) return nullptr;
    if (length > size_ - offset) length = static_cast<std::size_t>(size_ - offset);
    static const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t start = offset - offset % page;
    std::size_t span = static_cast<std::size_t>(offset - start) + length;
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // one fault-in per window rather than one per page
#endif
    void* at = mmap(nullptr, span, PROT_READ, flags, fd_, static_cast<off_t>(start));
    if (at == MAP_FAILED) return nullptr;
    base_ = at;
    span_ = span;
    return static_cast<const char*>(at) + (offset - start);
  }

 private:
  void Unmap() {
    if (base_ != nullptr) munmap(base_, span_);
    base_ = nullptr;
  }
  int fd_;
  uint64_t size_;
  void* base_ = nullptr;
  std::size_t span_ = 0;
};

}  // namespace

std::unique_ptr<FileView> FileView::Open(const std::filesystem::path& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFileView>(fd, static_cast<uint64_t>(status.st_size));
}

}  // namespace velmora::files
