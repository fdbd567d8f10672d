#include "byte_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/file_view.h"

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

namespace {

class WindowedFileStream : public ByteStream {
 public:
  // Large enough that a mapping or a read costs little per byte, small
  // enough that a window read on POSIX is still in the cache when the
  // decoder goes through it.
  static constexpr std::size_t kWindow = 1 << 20;

  explicit WindowedFileStream(std::unique_ptr<velmora::files::FileView> view)
      : view_(std::move(view)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const char* data = nullptr;
    std::size_t got = 0;
    if (!Lend(size, data, got)) return 0;
    std::memcpy(buffer, data, got);
    return got;
  }
  bool Next(std::vector<char>&, const char*& data, std::size_t& size) override {
    return Lend(kWindow, data, size);
  }
  std::string problem() const override { return problem_; }

 private:
  bool Lend(std::size_t most, const char*& data, std::size_t& size) {
    if (position_ >= view_->size() || most == 0) return false;
    size = static_cast<std::size_t>(std::min<uint64_t>(most, view_->size() - position_));
    data = view_->Map(position_, size);
    if (data == nullptr) {
      problem_ = "the file could not be read to its end (another program may have shortened it)";
      position_ = view_->size();
      return false;
    }
    position_ += size;
    return true;
  }

  std::unique_ptr<velmora::files::FileView> view_;
  uint64_t position_ = 0;
  std::string problem_;
};

}  // namespace

std::unique_ptr<ByteStream> OpenFileStream(const std::filesystem::path& path) {
  if (auto view = velmora::files::FileView::Open(path)) {
    return std::make_unique<WindowedFileStream>(std::move(view));
  }
  auto input = std::make_unique<FileInput>(path);
  if (!input->is_open()) return nullptr;
  return input;
}

}  // namespace triage
