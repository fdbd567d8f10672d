// The text decoder on any bytes: every line is valid UTF-8 within the length
// limit, numbered from 1 without gaps, and the same whatever sizes the reads
// come in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "triage/input/decoder.h"

namespace {

class Lines : public triage::LineSink {
 public:
  explicit Lines(std::size_t max_line) : max_line_(max_line) {}
  void Line(uint64_t number, std::string_view text) override {
    if (number != lines.size() + 1 || text.size() > max_line_ || !triage::IsValidUtf8(text))
      std::abort();
    lines.emplace_back(text);
  }
  std::vector<std::string> lines;

 private:
  std::size_t max_line_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the read size and the line limit.
  std::size_t piece = 1 + data[0] % 64;
  std::size_t max_line = 4 + data[1] % 200;
  const char* text = reinterpret_cast<const char*>(data + 2);
  size -= 2;

  Lines whole(max_line);
  triage::TextDecoder one_read(whole, max_line);
  one_read.Feed(text, size);
  one_read.Finish();

  Lines pieces(max_line);
  triage::TextDecoder many_reads(pieces, max_line);
  for (std::size_t at = 0; at < size; at += piece) {
    many_reads.Feed(text + at, size - at < piece ? size - at : piece);
  }
  many_reads.Finish();

  if (whole.lines != pieces.lines || one_read.encoding() != many_reads.encoding() ||
      one_read.stats().cut_lines != many_reads.stats().cut_lines ||
      one_read.stats().replaced != many_reads.stats().replaced) {
    std::abort();
  }
  return 0;
}
