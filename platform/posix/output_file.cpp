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

bool WriteReplacing(const std::filesystem::path& path, std::string_view bytes, std::string& error) {
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  // A short name of its own, not the page's name with a suffix: a name near
  // the file system's limit leaves no room for one.
  std::filesystem::path temporary;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = folder / (".velmora-triage-" + std::to_string(::getpid()) + "-" +
                          std::to_string(attempt) + ".tmp");
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  int failure = 0;
  for (std::size_t at = 0; at < bytes.size() && failure == 0;) {
    ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : EIO;
    } else {
      at += static_cast<std::size_t>(n);
    }
  }
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temporary.c_str());
    error = Reason(failure);
    return false;
  }
  return true;
}

}  // namespace velmora::files
