#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace velmora::files {

namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

}  // namespace

std::optional<FileId> IdOf(const std::filesystem::path& path, bool follow_link) {
  struct stat status;
  if ((follow_link ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status)) != 0) {
    return std::nullopt;
  }
  return FileId{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

std::optional<std::filesystem::path> ResolvedFolder(const std::filesystem::path& path) {
  char resolved[PATH_MAX];
  struct stat status;
  if (::realpath(path.c_str(), resolved) == nullptr || ::stat(resolved, &status) != 0 ||
      !S_ISDIR(status.st_mode)) {
    return std::nullopt;
  }
  return std::filesystem::path(resolved);
}

namespace {

class PosixReplacingFile : public ReplacingFile {
 public:
  PosixReplacingFile(int fd, std::filesystem::path temporary, std::filesystem::path path)
      : fd_(fd), temporary_(std::move(temporary)), path_(std::move(path)) {}
  ~PosixReplacingFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temporary_.c_str());
  }
  bool Write(std::string_view bytes) override {
    for (std::size_t at = 0; at < bytes.size() && failure_ == 0;) {
      const ssize_t n = ::write(fd_, bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure_ = n < 0 ? errno : EIO;
      } else {
        at += static_cast<std::size_t>(n);
      }
    }
    return failure_ == 0;
  }
  bool Commit(std::string& error) override {
    if (::close(fd_) != 0 && failure_ == 0) failure_ = errno;
    fd_ = -1;
    if (failure_ == 0 && ::rename(temporary_.c_str(), path_.c_str()) != 0) failure_ = errno;
    committed_ = failure_ == 0;
    if (!committed_) error = Reason(failure_);
    return committed_;
  }

 private:
  int fd_;
  std::filesystem::path temporary_;
  std::filesystem::path path_;
  int failure_ = 0;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<ReplacingFile> ReplacingFile::Create(const std::filesystem::path& path,
                                                     std::string& error) {
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  // A short name of its own, not the file's name with a suffix: a name near
  // the file system's limit leaves no room for one.
  std::filesystem::path temporary;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 1000; ++attempt) {
    temporary = folder / (".velmora-triage-" + std::to_string(::getpid()) + "-" +
                          std::to_string(attempt) + ".tmp");
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = Reason(errno);
    return nullptr;
  }
  return std::make_unique<PosixReplacingFile>(fd, temporary, path);
}

bool WriteReplacing(const std::filesystem::path& path, std::string_view bytes, std::string& error) {
  auto file = ReplacingFile::Create(path, error);
  if (!file) return false;
  file->Write(bytes);
  return file->Commit(error);
}

}  // namespace velmora::files
