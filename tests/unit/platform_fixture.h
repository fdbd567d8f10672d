// Every unit test runs against a fresh fake platform and fresh folder
// buffers, as at the start of a process.
#pragma once

#include <gtest/gtest.h>

#include "collect/folder_locations.h"
#include "platform/fake/fake_platform.h"

namespace velmora {

class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest() { ResetFolderLocations(); }
  ~PlatformTest() override { ResetFolderLocations(); }

  FakePlatform fake;

 private:
  ScopedPlatformOverride override_{fake};
};

}  // namespace velmora
