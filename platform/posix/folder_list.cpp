#include "platform/folder_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace velmora::files {

namespace {

int64_t LocalSeconds(time_t utc) {
  struct tm local;
  if (localtime_r(&utc, &local) == nullptr) return static_cast<int64_t>(utc);
  return static_cast<int64_t>(utc) + local.tm_gmtoff;
}

}  // namespace

std::optional<int64_t> ModifiedTime(const std::filesystem::path& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return LocalSeconds(status.st_mtime);
}

bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error) {
  entries.clear();
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  const int fd = dirfd(dir);
  while (true) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    // What the name is itself, not what a link at it points to.
    struct stat status;
    EntryType type = EntryType::Other;
    int64_t modified = 0;
    if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISLNK(status.st_mode)   ? EntryType::Link
             : S_ISDIR(status.st_mode) ? EntryType::Folder
             : S_ISREG(status.st_mode) ? EntryType::File
                                       : EntryType::Other;
      modified = LocalSeconds(status.st_mtime);
    }
    entries.push_back({folder / name, name, type, modified});
  }
  const int failure = errno;
  closedir(dir);
  if (failure != 0) {
    error = std::strerror(failure);
    return false;
  }
  return true;
}

}  // namespace velmora::files
