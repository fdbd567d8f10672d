// The two folder layouts the tool knows: that of Windows XP and Server 2003
// (major version 5 or less) and that of Vista and later.
#pragma once

#include <cstdint>

namespace velmora {

// `version` is what GetVersion returns; its low byte is the major version.
inline bool IsLegacyLayout(std::uint32_t version) { return (version & 0xFFu) <= 5; }

}  // namespace velmora
