#include "platform/file_view.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace velmora::files {

namespace {

// Reads each window into one reused buffer rather than mapping it: another
// program may shorten the file meanwhile (POSIX lets it), and touching a
// mapped page past the new end kills the process with SIGBUS. A short read
// is only a short read.
class PosixFileView : public FileView {
 public:
  PosixFileView(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFileView() override { close(fd_); }
  uint64_t size() const override { return size_; }
  const char* Map(uint64_t offset, std::size_t length) override {
    if (offset >= size_ || length == 0) return nullptr;
    if (length > size_ - offset) length = static_cast<std::size_t>(size_ - offset);
    if (buffer_.size() < length) buffer_.resize(length);
    return CopyTo(offset, length, buffer_.data()) ? buffer_.data() : nullptr;
  }
  bool CopyTo(uint64_t offset, std::size_t length, char* buffer) override {
    if (offset >= size_ || length == 0 || length > size_ - offset) return false;
    std::size_t got = 0;
    while (got < length) {
      const ssize_t n = pread(fd_, buffer + got, length - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;  // an error, or the file became shorter
      got += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_;
  std::vector<char> buffer_;
};

}  // namespace

std::unique_ptr<FileView> FileView::Open(const std::filesystem::path& path, Links links,
                                         std::string& problem) {
  // O_NONBLOCK: a FIFO put in the file's place would otherwise hold open()
  // until some writer came. O_NOFOLLOW: a link at the name fails with ELOOP.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (links == Links::Refuse) flags |= O_NOFOLLOW;
  const int fd = open(path.c_str(), flags);
  if (fd < 0) {
    problem = links == Links::Refuse && errno == ELOOP
                  ? "it is a symbolic link, and links are never followed"
                  : std::string("it cannot be opened (") + std::strerror(errno) + ")";
    return nullptr;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    problem = "it is not a regular file (a folder, FIFO, socket or device)";
    close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFileView>(fd, static_cast<uint64_t>(status.st_size));
}

}  // namespace velmora::files
