// A file read through successive windows, one at a time, so that memory
// stays bounded whatever the file's size: on Windows mapped into memory (no
// copy; Windows refuses to shorten a mapped file), on POSIX read into one
// reused buffer (a mapped file shortened by another program would fault).
// For velmora-triage, apart from the collector's platform seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace velmora::files {

class FileView {
 public:
  // Null when the file cannot be mapped (empty, not a regular file, no
  // rights): the caller reads it the ordinary way.
  static std::unique_ptr<FileView> Open(const std::filesystem::path& path);
  virtual ~FileView() = default;
  virtual uint64_t size() const = 0;
  // The bytes [offset, offset + length), valid until the next call; null
  // when they cannot all be had (an error, or the file became shorter).
  virtual const char* Map(uint64_t offset, std::size_t length) = 0;
};

}  // namespace velmora::files
