// Directory searches, file copies and file attributes. A search reads one
// folder, never its subfolders, and matches names as Windows does; a copy
// goes through a temporary file beside the destination, so an existing
// destination is only ever replaced whole.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/sendfile.h>
#endif
#if defined(__APPLE__)
#include <copyfile.h>
#include <sys/clonefile.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/name_match.h"
#include "platform/posix/posix_platform.h"
#include "platform/utf.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

// Seconds from 1601-01-01, where file times start, to 1970-01-01.
constexpr std::int64_t kFileTimeToUnixEpochSeconds = 11644473600;

timespec ModificationTime(const struct stat& status) {
#if defined(__APPLE__)
  return status.st_mtimespec;
#else
  return status.st_mtim;
#endif
}

FileTime ToFileTime(const timespec& time) {
  std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kFileTimeToUnixEpochSeconds;
  if (seconds < 0) return 0;  // before 1601: the earliest time a file time can hold
  return static_cast<FileTime>(seconds) * 10000000u + static_cast<FileTime>(time.tv_nsec) / 100u;
}

class PosixFileSearch final : public FileSearch {
 public:
  PosixFileSearch(DIR* folder, WString pattern) : folder_(folder), pattern_(std::move(pattern)) {}
  ~PosixFileSearch() override { ::closedir(folder_); }
  PosixFileSearch(const PosixFileSearch&) = delete;
  PosixFileSearch& operator=(const PosixFileSearch&) = delete;

  // Reads up to the first match, as FindFirstFileW does before it returns.
  bool Start() {
    pendingFirst_ = Advance(first_);
    return pendingFirst_;
  }

  bool Next(FindEntry& entry) override {
    if (pendingFirst_) {
      pendingFirst_ = false;
      entry = std::move(first_);
      return true;
    }
    return Advance(entry);
  }

 private:
  // The next entry whose name matches; a read error ends the search like
  // the last entry would.
  bool Advance(FindEntry& entry) {
    while (const dirent* item = ::readdir(folder_)) {
      WString name = Utf8ToUtf16(item->d_name);
      if (!MatchesFileNamePattern(pattern_, name)) continue;
      // A name that is not valid UTF-8 or holds a backslash could not be
      // named again through a Windows path.
      if (name.find(u'\\') != WString::npos || Utf16ToUtf8(name) != item->d_name) continue;
      // A symbolic link counts as what it points at, as a copy of it would;
      // a dangling one as itself. An entry gone since it was listed is
      // passed over.
      struct stat status;
      int folder = ::dirfd(folder_);
      if (::fstatat(folder, item->d_name, &status, 0) != 0 &&
          ::fstatat(folder, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        continue;
      }
      entry.name = std::move(name);
      entry.lastWriteTime = ToFileTime(ModificationTime(status));
      entry.isDirectory = S_ISDIR(status.st_mode);
      return true;
    }
    return false;
  }

  DIR* folder_;
  WString pattern_;
  FindEntry first_;
  bool pendingFirst_ = false;
};

// A file descriptor, closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now, so that a failed final write shows; 0 or errno.
  int Close() {
    int result = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Errors that say a fast path cannot be used for these two files, not that
// the copy failed.
bool Unsupported(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP ||
         error == ENOTSUP || error == EPERM;
}

// Copies what is left of `from` after its file offset into `to` with plain
// reads and writes; 0 or errno.
int CopyByReadWrite(int from, int to) {
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += put;
    }
  }
}

// Copies the whole of `from` into the empty `to`; 0 or errno. Where the
// kernel can copy (or share blocks) without the data passing through here,
// it does; each fast path carries on from the file offsets the previous
// one left, so falling back part-way loses nothing.
int CopyContents(int from, int to, const struct stat& source) {
  // Files of no stated size (those of /proc, say) are read to their end.
  const bool sized = source.st_size > 0;
#if defined(__linux__)
  if (sized) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    for (;;) {
      ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, kChunk, 0);
      if (copied > 0) continue;
      if (copied == 0) return 0;
      if (errno == EINTR) continue;
      if (!Unsupported(errno)) return errno;
      break;
    }
    for (;;) {
      ssize_t sent = ::sendfile(to, from, nullptr, kChunk);
      if (sent > 0) continue;
      if (sent == 0) return 0;
      if (errno == EINTR) continue;
      if (!Unsupported(errno)) return errno;
      break;
    }
  }
#elif defined(__APPLE__)
  if (sized) {
    if (::fcopyfile(from, to, nullptr, COPYFILE_DATA) == 0) return 0;
    if (!Unsupported(errno)) return errno;
  }
#else
  (void)sized;
#endif
  return CopyByReadWrite(from, to);
}

// A name in the destination's folder that nothing else uses yet. It is
// short, not the destination's name with a suffix: that would pass the
// file system's name limit for a destination name near it.
std::string TemporaryName(const std::string& destination) {
  static std::atomic<unsigned> counter{0};
  return destination.substr(0, destination.find_last_of('/') + 1) + ".velmora-" +
         std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// Gives the finished copy the source's permissions and last-write time, as
// CopyFileW keeps a file's attributes and last-write time; 0 or errno.
int KeepAttributes(int to, const struct stat& source) {
  if (::fchmod(to, source.st_mode & 0777) != 0) return errno;
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1] = ModificationTime(source);
  return ::futimens(to, times) == 0 ? 0 : errno;
}

#if defined(__APPLE__)
// A clone of the source at `temporary`, where the file system can share its
// blocks; 0 or errno.
int CloneInto(const std::string& source, const std::string& temporary, const struct stat& status) {
  if (::clonefile(source.c_str(), temporary.c_str(), 0) != 0) return errno;
  Descriptor to(::open(temporary.c_str(), O_WRONLY | O_CLOEXEC));
  int error = to.valid() ? KeepAttributes(to.get(), status) : errno;
  if (error == 0) error = to.Close();
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}
#endif

// Opens `source` for reading when it is a regular file; -1 with errno set
// otherwise (EACCES for anything else, as CopyFileW refuses a folder). A
// FIFO would block the open and then the reads until a writer came, and a
// device such as /dev/zero never ends: only a regular file is a log. The
// open does not wait (O_NONBLOCK, cleared again for the reads), and what was
// opened is checked, not only what the name pointed at a moment before.
int OpenRegularFile(const std::string& source, struct stat& status) {
  if (::stat(source.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    errno = EACCES;
    return -1;
  }
  int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  int error = 0;
  int flags = -1;
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error = EACCES;
  } else if ((flags = ::fcntl(fd, F_GETFL)) < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = errno;
  }
  if (error == 0) return fd;
  ::close(fd);
  errno = error;
  return -1;
}

// Copies `source` over `destination`; 0 or errno. The source is only read.
int CopyFile(const std::string& source, const std::string& destination) {
  struct stat status;
  Descriptor from(OpenRegularFile(source, status));
  if (!from.valid()) return errno;

  std::string temporary = TemporaryName(destination);
#if defined(__APPLE__)
  if (CloneInto(source, temporary, status) == 0) {
    if (::rename(temporary.c_str(), destination.c_str()) == 0) return 0;
    int error = errno;
    ::unlink(temporary.c_str());
    return error;
  }
#endif
  Descriptor to(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!to.valid()) return errno;
  int error = CopyContents(from.get(), to.get(), status);
  if (error == 0) error = KeepAttributes(to.get(), status);
  int closed = to.Close();
  if (error == 0) error = closed;
  if (error == 0 && ::rename(temporary.c_str(), destination.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

}  // namespace

std::unique_ptr<FileSearch> PosixPlatform::FindFirstFileW(const WString& searchText) {
  // The pattern is the last component; without a folder part Windows
  // searches the current folder. Only "*" and "?" are wildcards here.
  std::size_t separator = searchText.find_last_of(u"\\/");
  std::string folder =
      separator == WString::npos ? "." : ToNativePath(searchText.substr(0, separator + 1));
  WString pattern = separator == WString::npos ? searchText : searchText.substr(separator + 1);
  if (pattern.empty()) {
    SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  DIR* opened = ::opendir(folder.c_str());
  if (opened == nullptr) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  auto search = std::make_unique<PosixFileSearch>(opened, std::move(pattern));
  if (!search->Start()) {
    SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return search;
}

long PosixPlatform::CompareFileTime(FileTime first, FileTime second) {
  return first < second ? -1 : first > second ? 1 : 0;
}

// Read-only means no write permission for the owner. A symbolic link counts
// as itself, as on Windows, and is never changed: its permissions mean
// nothing, and following it could reach a file anywhere.
std::uint32_t PosixPlatform::GetFileAttributesW(const WString& path) {
  struct stat status;
  if (::lstat(ToNativePath(path).c_str(), &status) != 0) {
    SetLastErrorFromErrno(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (!S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0) {
    return FILE_ATTRIBUTE_READONLY;
  }
  return FILE_ATTRIBUTE_NORMAL;
}

bool PosixPlatform::SetFileAttributesW(const WString& path, std::uint32_t attributes) {
  const std::string native = ToNativePath(path);
  struct stat status;
  if (::lstat(native.c_str(), &status) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  if (S_ISLNK(status.st_mode)) {
    SetLastErrorFromErrno(EACCES);
    return false;
  }
  mode_t mode = status.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? mode & ~mode_t{0222} : mode | S_IWUSR;
  if (::chmod(native.c_str(), mode) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool PosixPlatform::CopyFileW(const WString& source, const WString& destination) {
  int error = CopyFile(ToNativePath(source), ToNativePath(destination));
  SetLastErrorFromErrno(error);
  return error == 0;
}

}  // namespace velmora
