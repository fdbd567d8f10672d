#include "byte_stream.h"

#include <algorithm>
#include <cstring>

namespace triage {

FileInput::FileInput(const std::filesystem::path& path) {
  file_.open(path, std::ios::binary);
  if (!file_.is_open()) return;
  file_.seekg(0, std::ios::end);
  auto end = file_.tellg();
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  file_.seekg(0);
}

std::size_t FileInput::ReadAt(uint64_t offset, char* buffer, std::size_t size) {
  if (offset >= size_ || size == 0) return 0;
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  return Read(buffer, size);
}

std::size_t FileInput::Read(char* buffer, std::size_t size) {
  if (!file_.is_open()) return 0;
  file_.read(buffer, static_cast<std::streamsize>(size));
  auto got = static_cast<std::size_t>(file_.gcount());
  if (got < size && file_.bad()) problem_ = "reading the file failed";
  return got;
}

std::size_t MemoryInput::ReadAt(uint64_t offset, char* buffer, std::size_t size) {
  if (offset >= bytes_.size() || size == 0) return 0;
  std::size_t n = std::min<uint64_t>(size, bytes_.size() - offset);
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

std::size_t MemoryInput::Read(char* buffer, std::size_t size) {
  std::size_t n = ReadAt(position_, buffer, size);
  position_ += n;
  return n;
}

}  // namespace triage
