// File-name matching as Windows file searches do it, for the platforms that
// have to do it themselves.
#pragma once

#include "platform/text.h"

namespace velmora {

// Whether `name` matches the wildcard `pattern`: "*" stands for any run of
// units, none included, "?" for exactly one unit, and every other character
// for itself without regard to letter case. Letters are compared the way
// Windows compares file names, by upper-casing both sides one character at
// a time; a surrogate pair counts as one character. Like Windows, nothing
// beyond ASCII upper-cases into ASCII, so "i" matches neither the dotless
// "\u0131" nor "k" the Kelvin sign.
bool MatchesFileNamePattern(const WString& pattern, const WString& name);

// The simple upper-case mapping of one code point (itself when it has none).
char32_t SimpleUpperCase(char32_t c);

}  // namespace velmora
