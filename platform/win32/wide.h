// The logic's UTF-16 text is the wide text of the Windows API.
#pragma once

#include "platform/text.h"

namespace velmora {

static_assert(sizeof(wchar_t) == sizeof(WChar), "Windows wide characters are UTF-16 units");

inline const wchar_t* Wide(const WString& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline const wchar_t* Wide(const WChar* text) { return reinterpret_cast<const wchar_t*>(text); }
inline WString FromWide(const wchar_t* text) {
  return WString(reinterpret_cast<const WChar*>(text));
}

}  // namespace velmora
