// A file read through successive windows, one at a time, so that memory
// stays bounded whatever the file's size: on Windows mapped into memory (no
// copy; Windows refuses to shorten a mapped file), on POSIX read into one
// reused buffer (a mapped file shortened by another program would fault).
// For velmora-triage, apart from the collector's platform seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace velmora::files {

enum class Links { Follow, Refuse };

class FileView {
 public:
  // Opens a regular file, even an empty one, and checks what was opened, not
  // what the name showed earlier: a FIFO, a device or a folder is refused
  // without waiting for a writer, and with Links::Refuse so is a symbolic
  // link (on Windows, a reparse point that names another file or folder).
  // Null, with `problem` saying why in a few words, when it cannot be had.
  static std::unique_ptr<FileView> Open(const std::filesystem::path& path, Links links,
                                        std::string& problem);
  virtual ~FileView() = default;
  virtual uint64_t size() const = 0;
  // The bytes [offset, offset + length), valid until the next call; null
  // when they cannot all be had (an error, or the file became shorter).
  virtual const char* Map(uint64_t offset, std::size_t length) = 0;
  // The same bytes copied into `buffer`; false as Map is null. Where the
  // bytes are read rather than mapped, they are read into `buffer` at once.
  virtual bool CopyTo(uint64_t offset, std::size_t length, char* buffer) {
    const char* data = Map(offset, length);
    if (data == nullptr) return false;
    std::memcpy(buffer, data, length);
    return true;
  }
};

}  // namespace velmora::files
