// A folder's entries as they are, links not followed: for velmora-triage,
// which reads folders a customer sent, where a link may lead anywhere on
// the engineer's machine. Apart from the collector's platform seam.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::files {

enum class EntryType {
  File,
  Folder,
  // A symbolic link; on Windows a reparse point that names another file or
  // folder (a symbolic link or a junction), not one that only stores the
  // file's data elsewhere (a cloud placeholder).
  Link,
  Other,  // a FIFO, a socket, a device
};

struct FolderEntry {
  std::filesystem::path path;
  std::string name;  // UTF-8 on Windows; the bytes as they are on POSIX
  EntryType type = EntryType::Other;
  // When it was last written, in seconds since 1970 of this machine's
  // local time (as logs and zip archives write times).
  int64_t modified = 0;
};

// When the file at `path` was last written, as FolderEntry::modified;
// nothing when that cannot be had.
std::optional<int64_t> ModifiedTime(const std::filesystem::path& path);

// False, with `error` saying why, when the folder cannot be listed.
bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries,
                std::string& error);

}  // namespace velmora::files
