// Runs under Wine: the Win32 calls behind console, folders and directories.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/utf.h"

namespace velmora {
namespace {

TEST(Win32System, PlaceholderBuilds) { SUCCEED(); }

}  // namespace
}  // namespace velmora
