// File-name matching as Windows file searches do it, for the platforms that
// have to do it themselves.
#pragma once

#include "platform/text.h"

namespace velmora {

// Whether `name` matches the wildcard `pattern`: "*" stands for any run of
// units, none included, "?" for exactly one unit, and every other character
// for itself without regard to letter case. Letters are compared the way
// Windows compares file names, by upper-casing both sides one character at
// a time; a surrogate pair counts as one character. So "i" matches the
// dotless "\u0131" (both upper-case to "I") while "k" does not match the
// Kelvin sign, which has no upper case of its own.
bool MatchesFileNamePattern(const WString& pattern, const WString& name);

// The simple upper-case mapping of one code point (itself when it has none).
char32_t SimpleUpperCase(char32_t c);

}  // namespace velmora
