// Where bytes come from: a file on disk, an entry of a zip archive, or a
// buffer in memory (tests and fuzzing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_view.h"

namespace triage {

// Sequential reads; Read returns 0 at the end. problem() says, once the end
// is reached, why the bytes stopped early ("" when they did not).
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual std::string problem() const { return {}; }
};

// A file's bytes, read through the platform's view of the file (mapped on
// Windows, read on POSIX). Null, with `problem` saying why,
// when it is no regular file or cannot be opened; with Links::Refuse a link
// at the name is never followed.
std::unique_ptr<ByteStream> OpenFileStream(const std::filesystem::path& path,
                                           velmora::files::Links links, std::string& problem);

// Reads at any offset; fewer bytes than asked only at the end or on an error.
class RandomAccessInput {
 public:
  virtual ~RandomAccessInput() = default;
  virtual uint64_t size() const = 0;
  virtual std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t size) = 0;
};

// Random access to a file, through the same checked view: for the zip
// reader and the look at a lone file's first lines.
class FileInput : public RandomAccessInput {
 public:
  // Null, with `problem` set, as OpenFileStream.
  static std::unique_ptr<FileInput> Open(const std::filesystem::path& path,
                                         velmora::files::Links links, std::string& problem);
  uint64_t size() const override { return view_->size(); }
  std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t size) override;

 private:
  explicit FileInput(std::unique_ptr<velmora::files::FileView> view) : view_(std::move(view)) {}
  std::unique_ptr<velmora::files::FileView> view_;
};

class MemoryInput : public RandomAccessInput, public ByteStream {
 public:
  explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t size) override;
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

}  // namespace triage
