// Text as the logic holds it: UTF-16 code units on every platform, so that a
// limit counted in characters means the same on Windows and elsewhere.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

using WChar = char16_t;
using WString = std::u16string;

// Size of a folder buffer in UTF-16 units, terminator included (MAX_PATH).
constexpr std::size_t kMaxPath = 260;

}  // namespace velmora
