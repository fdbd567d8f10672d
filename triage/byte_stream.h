// Where bytes come from: a file on disk, an entry of a zip archive, or a
// buffer in memory (tests and fuzzing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace triage {

// Sequential reads; Read returns 0 at the end. problem() says, once the end
// is reached, why the bytes stopped early ("" when they did not).
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual std::string problem() const { return {}; }
  // The next bytes, copied into `buffer` or lent from where they already
  // lie (valid until the next call); false at the end.
  virtual bool Next(std::vector<char>& buffer, const char*& data, std::size_t& size) {
    size = Read(buffer.data(), buffer.size());
    data = buffer.data();
    return size > 0;
  }
};

// A file's bytes, lent a window at a time from the platform's view of the
// file (mapped on Windows, read on POSIX), or read into the buffer when there
// is no view. Null when the file cannot be opened.
std::unique_ptr<ByteStream> OpenFileStream(const std::filesystem::path& path);

// Reads at any offset; fewer bytes than asked only at the end or on an error.
class RandomAccessInput {
 public:
  virtual ~RandomAccessInput() = default;
  virtual uint64_t size() const = 0;
  virtual std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t size) = 0;
};

class FileInput : public RandomAccessInput, public ByteStream {
 public:
  explicit FileInput(const std::filesystem::path& path);
  bool is_open() const { return file_.is_open(); }
  uint64_t size() const override { return size_; }
  std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t size) override;
  std::size_t Read(char* buffer, std::size_t size) override;
  std::string problem() const override { return problem_; }

 private:
  std::ifstream file_;
  uint64_t size_ = 0;
  std::string problem_;
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
