#include "platform/text/ascii.h"

namespace velmora::text {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

bool ContainsNoCase(std::string_view text, std::string_view lower_part) {
  if (lower_part.empty()) return true;
  if (text.size() < lower_part.size()) return false;
  const char first = lower_part[0];
  for (std::size_t i = 0; i + lower_part.size() <= text.size(); ++i) {
    if (LowerAscii(text[i]) != first) continue;
    std::size_t j = 1;
    while (j < lower_part.size() && LowerAscii(text[i + j]) == lower_part[j]) ++j;
    if (j == lower_part.size()) return true;
  }
  return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace velmora::text
