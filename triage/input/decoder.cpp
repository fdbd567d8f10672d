#include "decoder.h"

#include <algorithm>
#include <cstring>

#include "platform/text/utf8.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace triage {

using velmora::text::PutUtf8;

namespace {

// Windows-1252's 0x80-0x9F; the five unassigned bytes become U+FFFD.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

bool IsAscii(const char* p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < n; ++i) {
    if (static_cast<unsigned char>(p[i]) & 0x80) return false;
  }
  return true;
}

// The first CR or LF in [p, end), or end; `high` tells whether a byte
// before it has its top bit set (the line is not plain ASCII). One pass
// serves both, thirty-two bytes at a time where the processor allows.
const char* FindLineEnd(const char* p, const char* end, bool& high) {
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  int top = 0;
  while (end - p >= 32) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i high_half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(
                        _mm_or_si128(_mm_cmpeq_epi8(low, lf), _mm_cmpeq_epi8(low, cr)))) |
                    static_cast<unsigned>(_mm_movemask_epi8(
                        _mm_or_si128(_mm_cmpeq_epi8(high_half, lf), _mm_cmpeq_epi8(high_half, cr))))
                        << 16;
    unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(low)) |
                    static_cast<unsigned>(_mm_movemask_epi8(high_half)) << 16;
    if (ends != 0) {
      int at = __builtin_ctz(ends);
      high = high || top != 0 || (bits & ((1u << at) - 1)) != 0;
      return p + at;
    }
    top |= static_cast<int>(bits != 0);
    p += 32;
  }
  high = high || top != 0;
#endif
  for (; p < end; ++p) {
    if (*p == '\n' || *p == '\r') return p;
    high = high || (static_cast<unsigned char>(*p) & 0x80) != 0;
  }
  return end;
}

}  // namespace

const char* EncodingName(Encoding encoding) {
  switch (encoding) {
    case Encoding::Unknown:
      return "unknown";
    case Encoding::EightBit:
      return "UTF-8 or Windows-1252";
    case Encoding::Utf8Bom:
      return "UTF-8";
    case Encoding::Utf16Le:
      return "UTF-16LE";
    case Encoding::Utf16Be:
      return "UTF-16BE";
    case Encoding::Binary:
      return "binary";
  }
  return "unknown";
}

void AppendWindows1252(std::string_view text, std::string& out) {
  std::size_t start = out.size();
  out.resize(start + text.size() * 3);
  char* o = &out[start];
  for (char ch : text) {
    auto b = static_cast<unsigned char>(ch);
    uint32_t c = b < 0x80 || b >= 0xA0 ? b : kCp1252High[b - 0x80];
    o = PutUtf8(c, o);
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
}

TextDecoder::TextDecoder(LineSink& sink, std::size_t max_line_bytes)
    : sink_(sink), max_line_(max_line_bytes) {}

void TextDecoder::Feed(const char* data, std::size_t size) {
  if (finished_ || size == 0 || encoding_ == Encoding::Binary) return;
  if (encoding_ == Encoding::Unknown) {
    // Only the first bytes are held and looked at; the rest goes on as it is.
    std::size_t take = std::min(size, kSniffBytes - head_.size());
    head_.append(data, take);
    data += take;
    size -= take;
    if (head_.size() < kSniffBytes) return;
    Choose(false);
    if (encoding_ == Encoding::Binary || size == 0) return;
  }
  FeedDecided(reinterpret_cast<const unsigned char*>(data), size);
}

void TextDecoder::Choose(bool final) {
  const auto* b = reinterpret_cast<const unsigned char*>(head_.data());
  std::size_t n = head_.size();
  std::size_t skip = 0;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    encoding_ = Encoding::Utf8Bom;
    skip = 3;
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding_ = Encoding::Utf16Le;
    skip = 2;
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    encoding_ = Encoding::Utf16Be;
    skip = 2;
  } else if (!final && n < 3) {
    return;
  } else {
    // Without a mark: UTF-16 shows as NULs in every other byte of ASCII
    // text; NULs anywhere else mean the file is not text at all.
    std::size_t even_nuls = 0, odd_nuls = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (b[i] == 0) ++(i % 2 ? odd_nuls : even_nuls);
    }
    std::size_t pairs = n / 2;
    if (even_nuls + odd_nuls == 0) {
      encoding_ = Encoding::EightBit;
    } else if (pairs > 0 && odd_nuls * 10 >= pairs * 7 && even_nuls * 20 <= pairs) {
      encoding_ = Encoding::Utf16Le;
    } else if (pairs > 0 && even_nuls * 10 >= pairs * 7 && odd_nuls * 20 <= pairs) {
      encoding_ = Encoding::Utf16Be;
    } else {
      encoding_ = Encoding::Binary;
    }
  }
  check_utf8_ = encoding_ == Encoding::EightBit || encoding_ == Encoding::Utf8Bom;
  std::string held;
  held.swap(head_);
  if (encoding_ != Encoding::Binary && held.size() > skip) {
    FeedDecided(reinterpret_cast<const unsigned char*>(held.data()) + skip, held.size() - skip);
  }
}

void TextDecoder::FeedDecided(const unsigned char* data, std::size_t size) {
  if (encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be) {
    // In slices, so that the converted text stays small whatever is fed.
    constexpr std::size_t kSlice = 1 << 20;
    for (std::size_t at = 0; at < size; at += kSlice)
      FeedUtf16(data + at, std::min(kSlice, size - at));
  } else {
    Split(reinterpret_cast<const char*>(data), size);
  }
}

void TextDecoder::FeedUtf16(const unsigned char* data, std::size_t size) {
  const bool little = encoding_ == Encoding::Utf16Le;
  // Up to 3 UTF-8 bytes per unit, plus a pending surrogate's replacement.
  converted_.resize(size / 2 * 3 + 8);
  char* out = &converted_[0];
  const unsigned char* p = data;
  const unsigned char* end = data + size;
  auto unit_at = [little](unsigned char first, unsigned char second) -> uint32_t {
    return little ? first | (second << 8) : (first << 8) | second;
  };
  auto put_unit = [&](uint32_t u) {
    if (high_surrogate_ != 0) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        out = PutUtf8(0x10000 + ((high_surrogate_ - 0xD800) << 10) + (u - 0xDC00), out);
        high_surrogate_ = 0;
        return;
      }
      out = PutUtf8(0xFFFD, out);
      ++stats_.replaced;
      high_surrogate_ = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      high_surrogate_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      out = PutUtf8(0xFFFD, out);
      ++stats_.replaced;
    } else {
      out = PutUtf8(u, out);
    }
  };
  if (odd_byte_ >= 0 && p < end) {
    put_unit(unit_at(static_cast<unsigned char>(odd_byte_), *p++));
    odd_byte_ = -1;
  }
  while (end - p >= 2) {
    uint32_t u = unit_at(p[0], p[1]);
    p += 2;
    if (u < 0x80 && high_surrogate_ == 0) {
      *out++ = static_cast<char>(u);
    } else {
      put_unit(u);
    }
  }
  if (p < end) odd_byte_ = *p;
  Split(converted_.data(), static_cast<std::size_t>(out - converted_.data()));
}

void TextDecoder::Split(const char* data, std::size_t size) {
  const char* p = data;
  const char* end = data + size;
  if (after_cr_ && p < end) {
    after_cr_ = false;
    if (*p == '\n') ++p;
  }
  while (p < end) {
    bool high = false;
    const char* stop = FindLineEnd(p, end, high);
    if (stop == end) {
      Append(p, static_cast<std::size_t>(end - p));
      return;
    }
    EndLine(p, static_cast<std::size_t>(stop - p), !high);
    p = stop + 1;
    if (*stop == '\r') {
      if (p == end) {
        after_cr_ = true;
      } else if (*p == '\n') {
        ++p;
      }
    }
  }
}

void TextDecoder::Append(const char* data, std::size_t size) {
  std::size_t room = max_line_ > line_.size() ? max_line_ - line_.size() : 0;
  if (size > room) {
    line_.append(data, room);
    line_cut_ = true;
  } else {
    line_.append(data, size);
  }
  pending_ = pending_ || size > 0;
}

void TextDecoder::EndLine(const char* data, std::size_t size, bool ascii) {
  if (!pending_) {
    if (size > max_line_) {
      line_cut_ = true;
      size = max_line_;
    }
    Deliver(std::string_view(data, size), ascii);
    return;
  }
  Append(data, size);
  Deliver(line_, false);
  line_.clear();
  pending_ = false;
}

void TextDecoder::Deliver(std::string_view text, bool ascii) {
  ++stats_.lines;
  if (line_cut_) text = DropPartialUtf8Tail(text);
  if (check_utf8_ && !ascii && !IsAscii(text.data(), text.size()) && !IsValidUtf8(text)) {
    ++stats_.ansi_lines;
    ansi_.clear();
    AppendWindows1252(text, ansi_);
    // A byte may become three: the limit holds for what the readers get.
    if (ansi_.size() > max_line_) {
      ansi_.resize(DropPartialUtf8Tail(std::string_view(ansi_).substr(0, max_line_)).size());
      line_cut_ = true;
    }
    text = ansi_;
  }
  if (line_cut_) {
    ++stats_.cut_lines;
    if (stats_.first_cut_line == 0) stats_.first_cut_line = stats_.lines;
    line_cut_ = false;
  }
  sink_.Line(stats_.lines, text);
}

void TextDecoder::Finish() {
  if (finished_) return;
  if (encoding_ == Encoding::Unknown) Choose(true);
  finished_ = true;
  if (encoding_ == Encoding::Binary) return;
  std::string tail;
  if (high_surrogate_ != 0) {
    tail += "\xEF\xBF\xBD";
    ++stats_.replaced;
    high_surrogate_ = 0;
  }
  if (odd_byte_ >= 0) {
    tail += "\xEF\xBF\xBD";
    ++stats_.replaced;
    stats_.odd_byte_count = true;
    odd_byte_ = -1;
  }
  if (!tail.empty()) Append(tail.data(), tail.size());
  if (pending_) {
    Deliver(line_, false);
    line_.clear();
    pending_ = false;
  }
}

}  // namespace triage
