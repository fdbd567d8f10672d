// Where velmora-triage may write its page, and how it writes it: which file
// or folder a name leads to, and a file replaced whole by renaming a new one
// over its name, so that whatever was there, a link included, is replaced
// and never written through. For velmora-triage, apart from the
// collector's platform seam.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::files {

// Tells files apart whatever their names: device and inode on POSIX, volume
// serial and file index on Windows.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId& other) const {
    return volume == other.volume && index == other.index;
  }
};

// The file or folder that `path` leads to; with `follow_link` false a link
// at its last part is taken itself. Nothing when there is nothing there or
// it cannot be looked at.
std::optional<FileId> IdOf(const std::filesystem::path& path, bool follow_link);

// The absolute name of an existing folder with every link and ".." in it
// resolved as the system resolves them; nothing when it is no folder.
std::optional<std::filesystem::path> ResolvedFolder(const std::filesystem::path& path);

// A file written under a new name in its folder and renamed to its own name
// once whole, replacing what was there; until then nothing there changes,
// and a file never committed leaves nothing behind.
class ReplacingFile {
 public:
  // Null, with `error` saying why, when the new file cannot be made.
  static std::unique_ptr<ReplacingFile> Create(const std::filesystem::path& path,
                                               std::string& error);
  virtual ~ReplacingFile() = default;
  // False once anything could not be written; Commit then says why.
  virtual bool Write(std::string_view bytes) = 0;
  // Renames the new file to its name. False, with `error`, when it was not.
  virtual bool Commit(std::string& error) = 0;
};

// Writes `bytes` through a ReplacingFile. False, with `error` saying why,
// when that cannot be done; nothing is left behind then.
bool WriteReplacing(const std::filesystem::path& path, std::string_view bytes, std::string& error);

}  // namespace velmora::files
