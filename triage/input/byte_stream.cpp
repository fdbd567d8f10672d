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
  return view_->CopyTo(offset, n, buffer) ? n : 0;
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
  explicit WindowedFileStream(std::unique_ptr<velmora::files::FileView> view)
      : view_(std::move(view)) {}
  // Straight into the caller's buffer: one copy (on POSIX, the read itself).
  std::size_t Read(char* buffer, std::size_t size) override {
    if (position_ >= view_->size() || size == 0) return 0;
    size = static_cast<std::size_t>(std::min<uint64_t>(size, view_->size() - position_));
    if (!view_->CopyTo(position_, size, buffer)) {
      problem_ = "the file could not be read to its end (another program may have shortened it)";
      position_ = view_->size();
      return 0;
    }
    position_ += size;
    return size;
  }
  std::string problem() const override { return problem_; }

 private:
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
