#include "byte_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/file_view.h"

namespace triage {

std::unique_ptr<FileInput> FileInput::Open(const std::filesystem::path& path,
                                           velmora::files::Links links, std::string& problem) {
  auto view = velmora::files::FileView::Open(path, links, problem);
  if (!view) return nullptr;
  return std::unique_ptr<FileInput>(new FileInput(std::move(view)));
}

std::size_t FileInput::ReadAt(uint64_t offset, char* buffer, std::size_t size) {
  if (offset >= view_->size() || size == 0) return 0;
  // Whole windows are copied; a file shortened meanwhile reads as ended.
  const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(size, view_->size() - offset));
  const char* data = view_->Map(offset, n);
  if (data == nullptr) return 0;
  std::memcpy(buffer, data, n);
  return n;
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

std::unique_ptr<ByteStream> OpenFileStream(const std::filesystem::path& path,
                                           velmora::files::Links links, std::string& problem) {
  auto view = velmora::files::FileView::Open(path, links, problem);
  if (!view) return nullptr;
  return std::make_unique<WindowedFileStream>(std::move(view));
}

}  // namespace triage
