#include "platform/platform.h"

namespace velmora {
namespace {
Platform* g_override = nullptr;
}

Platform& CurrentPlatform() { return g_override ? *g_override : SystemPlatform(); }

ScopedPlatformOverride::ScopedPlatformOverride(Platform& replacement) : previous_(g_override) {
  g_override = &replacement;
}

ScopedPlatformOverride::~ScopedPlatformOverride() { g_override = previous_; }

}  // namespace velmora
