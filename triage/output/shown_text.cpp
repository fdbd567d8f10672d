#include "shown_text.h"

#include <cstdio>

namespace triage {

namespace {

bool IsFormat(uint32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069) || code == 0x2028 || code == 0x2029;
}

}  // namespace

ShownChar FirstChar(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  ShownChar c;
  c.code = p[0];
  if (p[0] < 0x80) {
    c.kind = p[0] < 0x20 || p[0] == 0x7F ? CharKind::Control : CharKind::Plain;
    return c;
  }
  // The length a lead byte announces and the least code point of that
  // length (shorter forms are overlong).
  std::size_t size = p[0] >= 0xC2 && p[0] <= 0xDF   ? 2
                     : p[0] >= 0xE0 && p[0] <= 0xEF ? 3
                     : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4
                                                    : 0;
  static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (size == 0 || text.size() < size) {
    c.kind = CharKind::Invalid;
    return c;
  }
  uint32_t code = p[0] & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      c.kind = CharKind::Invalid;
      return c;
    }
    code = (code << 6) | (p[i] & 0x3F);
  }
  if (code < kLeast[size] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    c.kind = CharKind::Invalid;
    return c;
  }
  c.size = size;
  c.code = code;
  c.kind = code <= 0x9F ? CharKind::Control : IsFormat(code) ? CharKind::Format : CharKind::Plain;
  return c;
}

std::string TerminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const ShownChar c = FirstChar(text.substr(i));
    switch (c.kind) {
      case CharKind::Plain:
        out.append(text, i, c.size);
        break;
      case CharKind::Control:
      case CharKind::Invalid:
        out += '?';
        break;
      case CharKind::Format:
        out += CodeMark(c.code);
        break;
    }
    i += c.size;
  }
  return out;
}

std::string CodeMark(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "<U+%04X>", static_cast<unsigned>(code));
  return text;
}

}  // namespace triage
