#include "line_batches.h"

#include <algorithm>
#include <cstring>

namespace triage {

void ByteHash::Add(const char* data, std::size_t size) {
  if (held_ > 0) {
    const std::size_t take = std::min(size, kBlock - held_);
    std::memcpy(carry_ + held_, data, take);
    held_ += take;
    data += take;
    size -= take;
    if (held_ < kBlock) return;
    Mix(carry_);
    held_ = 0;
  }
  for (; size >= kBlock; data += kBlock, size -= kBlock) Mix(data);
  std::memcpy(carry_, data, size);
  held_ = size;
}

uint64_t ByteHash::Value() const {
  uint64_t value = (total_ + held_) * 0x9E3779B97F4A7C15ULL;
  for (const uint64_t lane : lanes_) {
    value = (value ^ lane) * 0xBF58476D1CE4E5B9ULL;
    value ^= value >> 31;
  }
  for (std::size_t i = 0; i < held_; ++i) {
    value = (value ^ static_cast<unsigned char>(carry_[i])) * 0x100000001B3ULL;
  }
  value ^= value >> 31;
  return value * 0xBF58476D1CE4E5B9ULL;
}

void ByteHash::Mix(const char* block) {
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    uint64_t w;
    std::memcpy(&w, block + lane * 8, 8);
    uint64_t state = (lanes_[lane] ^ w) * 0x9E3779B97F4A7C15ULL;
    lanes_[lane] = state ^ (state >> 29);
  }
  total_ += kBlock;
}

void LineBatcher::Sink::Line(uint64_t number, std::string_view text) {
  if (batch->lines.empty()) batch->first_number = number;
  // A line lying in the window as it is needs no copy.
  const auto at = reinterpret_cast<std::uintptr_t>(text.data());
  const auto base = reinterpret_cast<std::uintptr_t>(batch->bytes.data());
  const uint64_t size = text.size();
  if (at >= base && at - base <= window_size && size <= window_size - (at - base)) {
    batch->lines.push_back(static_cast<uint64_t>(at - base) << 32 | size << 1);
    return;
  }
  batch->lines.push_back(static_cast<uint64_t>(batch->decoded.size()) << 32 | size << 1 | 1);
  batch->decoded.append(text);
}

LineBatcher::LineBatcher(ByteStream& stream, std::size_t max_line_bytes, std::size_t window)
    : stream_(stream),
      window_(std::min(window, BatchStore::kMostWindow)),
      decoder_(sink_, std::min(max_line_bytes, BatchStore::kMostWindow)) {}

bool LineBatcher::Fill(LineBatch& batch) {
  batch.decoded.clear();
  batch.lines.clear();
  sink_.batch = &batch;
  sink_.window_size = 0;
  if (done_) return false;
  if (batch.bytes.size() != window_) batch.bytes.resize(window_);
  const std::size_t size = stream_.Read(batch.bytes.data(), window_);
  if (size == 0) {
    decoder_.Finish();
    done_ = true;
    return false;
  }
  sink_.window_size = size;
  bytes_ += sink_.window_size;
  hash_.Add(batch.bytes.data(), sink_.window_size);
  decoder_.Feed(batch.bytes.data(), sink_.window_size);
  done_ = binary();
  return !done_;
}

}  // namespace triage
