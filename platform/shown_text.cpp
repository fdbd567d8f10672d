#include "platform/shown_text.h"

#include "platform/text/hex.h"
#include "platform/text/utf8.h"

namespace velmora::terminal {

namespace {

bool IsFormat(uint32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069) || code == 0x2028 || code == 0x2029;
}

}  // namespace

ShownChar FirstChar(std::string_view text) {
  const text::Utf8Char read = text::DecodeUtf8(text);
  ShownChar c;
  c.size = read.size;
  c.code = read.code;
  if (!read.valid) {
    c.kind = CharKind::Invalid;
  } else if (read.code < 0x20 || (read.code >= 0x7F && read.code <= 0x9F)) {
    c.kind = CharKind::Control;
  } else {
    c.kind = IsFormat(read.code) ? CharKind::Format : CharKind::Plain;
  }
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

std::string CodeMark(uint32_t code) { return "<U+" + text::HexNumber(code, 4) + ">"; }

}  // namespace velmora::terminal
