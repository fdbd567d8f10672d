// A file read through successive windows mapped into memory, so that a
// large log's bytes reach the reader without being copied; only one window
// is mapped at a time, so memory stays bounded. For velmora-triage, apart
// from the collector's platform seam.
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
  // when the window cannot be mapped.
  virtual const char* Map(uint64_t offset, std::size_t length) = 0;
};

}  // namespace velmora::files
