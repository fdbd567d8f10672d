#include "platform/folder_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace velmora::files {

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
    if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISLNK(status.st_mode)   ? EntryType::Link
             : S_ISDIR(status.st_mode) ? EntryType::Folder
             : S_ISREG(status.st_mode) ? EntryType::File
                                       : EntryType::Other;
    }
    entries.push_back({folder / name, name, type});
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
