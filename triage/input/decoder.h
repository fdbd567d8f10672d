// Bytes of a text file in whatever encoding Windows wrote it, turned into
// UTF-8 lines as they arrive: the file is never held whole, only the line
// being assembled (cut at a fixed length) and one converted chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/utf8.h"

namespace triage {

enum class Encoding {
  Unknown,   // not enough bytes seen yet
  EightBit,  // no byte-order mark: each line UTF-8 when it is valid, else Windows-1252
  Utf8Bom,
  Utf16Le,  // with a byte-order mark, or without one when the bytes say so
  Utf16Be,
  Binary,  // NUL bytes without the UTF-16 pattern: not text, no lines given
};

const char* EncodingName(Encoding encoding);

class LineSink {
 public:
  virtual ~LineSink() = default;
  // `text` is valid UTF-8 without its line end; it lives until the call returns.
  virtual void Line(uint64_t number, std::string_view text) = 0;
};

struct DecodeStats {
  uint64_t lines = 0;
  uint64_t cut_lines = 0;  // lines longer than the limit, kept cut
  uint64_t first_cut_line = 0;
  uint64_t replaced = 0;        // lone surrogates and a dangling odd byte, now U+FFFD
  bool odd_byte_count = false;  // UTF-16 whose last unit lacks a byte
  uint64_t ansi_lines = 0;      // 8-bit lines that were not UTF-8, read as Windows-1252
};

class TextDecoder {
 public:
  static constexpr std::size_t kDefaultMaxLine = 64 * 1024;
  // Bytes looked at for NULs before an encoding without a byte-order mark is chosen.
  static constexpr std::size_t kSniffBytes = 4096;

  explicit TextDecoder(LineSink& sink, std::size_t max_line_bytes = kDefaultMaxLine);

  void Feed(const char* data, std::size_t size);
  // The input has ended: a last line without a line end is given now.
  void Finish();

  Encoding encoding() const { return encoding_; }
  const DecodeStats& stats() const { return stats_; }

 private:
  void Choose(bool final);
  void FeedDecided(const unsigned char* data, std::size_t size);
  void FeedUtf16(const unsigned char* data, std::size_t size);
  void Split(const char* data, std::size_t size);
  void Append(const char* data, std::size_t size);
  void EndLine(const char* data, std::size_t size, bool ascii);
  // `ascii`: the caller saw that every byte is below 0x80.
  void Deliver(std::string_view text, bool ascii);

  LineSink& sink_;
  std::size_t max_line_;
  Encoding encoding_ = Encoding::Unknown;
  bool finished_ = false;
  // 8-bit text is checked line by line; converted UTF-16 is valid already.
  bool check_utf8_ = true;
  std::string head_;      // bytes held until the encoding is chosen
  std::string line_;      // a line begun in an earlier chunk
  bool pending_ = false;  // line_ holds the start of a line
  bool line_cut_ = false;
  bool after_cr_ = false;  // the last chunk ended in CR: a leading LF belongs to it
  // UTF-16 state carried between chunks.
  int odd_byte_ = -1;
  uint32_t high_surrogate_ = 0;
  std::string converted_;
  std::string ansi_;
  DecodeStats stats_;
};

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF).
using velmora::text::IsValidUtf8;
// Appends `text` read as Windows-1252 to `out` as UTF-8.
void AppendWindows1252(std::string_view text, std::string& out);
// `text` without a UTF-8 sequence cut short at its end.
using velmora::text::DropPartialUtf8Tail;

}  // namespace triage
