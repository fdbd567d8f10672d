// A stream's lines, decoded a window of bytes at a time into batches that
// own their text, so that reading and decoding can run on one thread while
// the readers run on another.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byte_stream.h"
#include "decoder.h"

namespace triage {

// The lines of one window of a stream. Most lie as they are in the
// window's bytes; the rest (converted from UTF-16 or Windows-1252, or begun
// in an earlier window) are copied into `decoded`. A line's place is one
// word, so that a batch of short lines stays small in the cache.
struct LineBatch {
  std::vector<char> bytes;
  std::string decoded;
  uint64_t first_number = 0;    // of the first line; the rest follow one by one
  std::vector<uint64_t> lines;  // offset << 32 | size << 1 | whether in `decoded`

  std::size_t size() const { return lines.size(); }
  uint64_t number(std::size_t i) const { return first_number + i; }
  std::string_view text(std::size_t i) const {
    const uint64_t place = lines[i];
    const char* base = (place & 1) != 0 ? decoded.data() : bytes.data();
    return std::string_view(base + (place >> 32), static_cast<uint32_t>(place) >> 1);
  }
};

// A file's batches, their memory reused from file to file.
struct BatchStore {
  // Small enough that the three batches in flight stay in a core's own
  // cache: the bytes copied in from the file are still there when they are
  // split into lines and read.
  static constexpr std::size_t kWindow = 128 << 10;
  static constexpr std::size_t kMostWindow = 64 << 20;  // places fit their word
  explicit BatchStore(std::size_t window_bytes = kWindow)
      : window(std::max<std::size_t>(1, std::min(window_bytes, kMostWindow))) {}
  std::size_t window;  // bytes of the stream a batch holds at most
  std::array<LineBatch, 3> batches;
};

// A quick hash of all the bytes of a stream, whatever the pieces they come
// in: with the stream's size it tells files apart and orders them by their
// bytes alone. Equal hashes are confirmed by comparing the bytes, so a
// crafted collision only costs one comparison. Four lanes of eight bytes
// each are mixed side by side, so that the multiplications of one lane
// overlap those of the others instead of waiting on them.
class ByteHash {
 public:
  static constexpr std::size_t kLanes = 4;
  static constexpr std::size_t kBlock = kLanes * 8;
  void Add(const char* data, std::size_t size);
  uint64_t Value() const;

 private:
  void Mix(const char* block);
  std::array<uint64_t, kLanes> lanes_ = {0xCBF29CE484222325ULL, 0x84222325CBF29CE4ULL,
                                         0x9E3779B97F4A7C15ULL, 0xC2B2AE3D27D4EB4FULL};
  uint64_t total_ = 0;
  char carry_[kBlock] = {};
  std::size_t held_ = 0;
};

class LineBatcher {
 public:
  LineBatcher(ByteStream& stream, std::size_t max_line_bytes, std::size_t window);

  // Replaces `batch` with the lines of the next bytes; false once the
  // stream has ended or turned out not to be text (`batch` may still hold
  // its last lines).
  bool Fill(LineBatch& batch);

  uint64_t bytes() const { return bytes_; }
  uint64_t hash() const { return hash_.Value(); }
  bool binary() const { return decoder_.encoding() == Encoding::Binary; }
  const DecodeStats& stats() const { return decoder_.stats(); }

 private:
  class Sink : public LineSink {
   public:
    void Line(uint64_t number, std::string_view text) override;
    LineBatch* batch = nullptr;
    std::size_t window_size = 0;  // of batch->bytes, read from the stream
  };

  ByteStream& stream_;
  std::size_t window_;
  Sink sink_;
  TextDecoder decoder_;
  ByteHash hash_;
  uint64_t bytes_ = 0;
  bool done_ = false;
};

}  // namespace triage
