// Every unit test runs against a fresh fake platform and fresh folder
// buffers, as at the start of a process.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "collect/folder_locations.h"
#include "platform/fake/fake_platform.h"
#include "platform/utf.h"

namespace velmora {

// The temporary folder of the fake's profile, as GetTempFolder finds it.
inline const WString kFakeTemp = u"C:\\Users\\user\\AppData\\Local\\Temp\\";

// Checks that a file of `fake` holds `contents`. A missing file fails the
// check, not the whole test program.
inline void ExpectContents(FakePlatform& fake, const WString& path, const std::string& contents) {
  const FakePlatform::Node* node = fake.FindNode(path);
  ASSERT_NE(node, nullptr) << "no file " << Utf16ToUtf8(path);
  EXPECT_EQ(node->contents, contents) << Utf16ToUtf8(path);
}

class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest() { ResetFolderLocations(); }
  ~PlatformTest() override { ResetFolderLocations(); }

  FakePlatform fake;

 private:
  ScopedPlatformOverride override_{fake};
};

}  // namespace velmora
