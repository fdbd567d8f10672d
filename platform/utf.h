// Conversions between the logic's UTF-16 text and the UTF-8 that POSIX
// interfaces and test fixtures speak. Used only at the platform edge.
#pragma once

#include <string>

#include "platform/text.h"

namespace velmora {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const WString& text);

// Invalid sequences become U+FFFD, one per offending byte.
WString Utf8ToUtf16(const std::string& text);

}  // namespace velmora
