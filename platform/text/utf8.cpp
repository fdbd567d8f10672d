#include "platform/text/utf8.h"

namespace velmora::text {

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const Utf8Char c = DecodeUtf8(text.substr(i));
    if (!c.valid) return false;
    i += c.size;
  }
  return true;
}

std::string_view CutLongUtf8(std::string_view text, std::size_t limit) {
  std::size_t end = limit;
  // Step back over continuation bytes to the start of the cut sequence.
  while (end > 0 && IsUtf8Continuation(text[end])) --end;
  return text.substr(0, end);
}

std::string_view DropPartialUtf8Tail(std::string_view text) {
  // Walk back over at most three continuation bytes to the lead byte and
  // keep the sequence only when it is complete.
  std::size_t n = text.size();
  std::size_t back = 0;
  while (back < 3 && back < n && IsUtf8Continuation(text[n - 1 - back])) ++back;
  if (back == n) return text;
  auto lead = static_cast<unsigned char>(text[n - 1 - back]);
  std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (lead < 0x80) want = 1;
  if (want > back + 1) return text.substr(0, n - 1 - back);
  return text;
}

}  // namespace velmora::text
