// Every unit test runs against a fresh fake platform and fresh folder
// buffers, as at the start of a process.
#pragma once

#include <gtest/gtest.h>

#include "collect/folder_locations.h"
#include "platform/fake/fake_platform.h"

namespace velmora {

// The temporary folder of the fake's profile, as GetTempFolder finds it.
inline const WString kFakeTemp = u"C:\\Users\\user\\AppData\\Local\\Temp\\";

class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest() { ResetFolderLocations(); }
  ~PlatformTest() override { ResetFolderLocations(); }

  FakePlatform fake;

 private:
  ScopedPlatformOverride override_{fake};
};

}  // namespace velmora
