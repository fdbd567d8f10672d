// ASCII case: names and markers are compared without regard to case, and
// only the 26 letters have one, whatever else the text holds.
#pragma once

#include <string>
#include <string_view>

namespace velmora::text {

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);

// Whether `text` holds `lower_part` (already lower case) in any case.
bool ContainsNoCase(std::string_view text, std::string_view lower_part);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace velmora::text
