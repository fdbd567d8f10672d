#include "platform/utf.h"

#include "platform/text/utf8.h"

namespace velmora {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(WString& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<WChar>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<WChar>(0xD800 | (cp >> 10));
    out += static_cast<WChar>(0xDC00 | (cp & 0x3FF));
  }
}

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(const WString& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      char32_t low = text[++i];
      text::AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      text::AppendUtf8(kReplacement, out);
    } else {
      text::AppendUtf8(unit, out);
    }
  }
  return out;
}

WString Utf8ToUtf16(const std::string& text) {
  WString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const text::Utf8Char c = text::DecodeUtf8(std::string_view(text).substr(i));
    AppendUtf16(out, c.valid ? c.code : kReplacement);
    i += c.size;
  }
  return out;
}

}  // namespace velmora
