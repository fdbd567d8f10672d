// UTF-8 one character at a time: what a byte sequence encodes, how a code
// point is written, and where text may be cut. The per-character helpers
// are inline, as the decoder's loops call them for every character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::text {

// One character read from UTF-8 text.
struct Utf8Char {
  uint32_t code = 0;     // the code point; the first byte itself when not valid
  std::size_t size = 1;  // bytes taken: 1 for a byte that begins no character
  bool valid = true;     // well-formed: no overlong form, surrogate or value beyond U+10FFFF
};

// The first character of `text`, which is not empty.
inline Utf8Char DecodeUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  Utf8Char c;
  c.code = p[0];
  if (p[0] < 0x80) return c;
  // The length a lead byte announces and the least code point of that
  // length (shorter forms are overlong).
  const std::size_t size = p[0] >= 0xC2 && p[0] <= 0xDF   ? 2
                           : p[0] >= 0xE0 && p[0] <= 0xEF ? 3
                           : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4
                                                          : 0;
  constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  c.valid = false;
  if (size == 0 || text.size() < size) return c;
  uint32_t code = p[0] & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    if ((p[i] & 0xC0) != 0x80) return c;
    code = (code << 6) | (p[i] & 0x3F);
  }
  if (code < kLeast[size] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return c;
  c.valid = true;
  c.size = size;
  c.code = code;
  return c;
}

// A byte that continues a sequence (10xxxxxx) rather than beginning a character.
inline bool IsUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Writes code point `c` (at most U+10FFFF) at `out` as UTF-8, one to four
// bytes, and returns the byte after them.
inline char* PutUtf8(uint32_t c, char* out) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Appends code point `c` (at most U+10FFFF) to `out` as UTF-8.
inline void AppendUtf8(uint32_t c, std::string& out) {
  char bytes[4];
  out.append(bytes, static_cast<std::size_t>(PutUtf8(c, bytes) - bytes));
}

// Whether `text` is well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence;
// inline, as nearly every line is short already.
std::string_view CutLongUtf8(std::string_view text, std::size_t limit);
inline std::string_view CutUtf8(std::string_view text, std::size_t limit) {
  return text.size() <= limit ? text : CutLongUtf8(text, limit);
}

// `text` without a UTF-8 sequence cut short at its end.
std::string_view DropPartialUtf8Tail(std::string_view text);

}  // namespace velmora::text
