// Random folder lookups through the fake platform: whatever the lookups
// answer, the location functions never overrun a buffer and only ever hand
// out well-formed folder texts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "collect/folder_locations.h"
#include "platform/fake/fake_platform.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

// Folder texts built from pieces that matter to the logic, plus raw units.
WString RandomFolderText(FuzzedDataProvider& data) {
  static const WString kPieces[] = {u"C:",
                                    u"\\",
                                    u"Application Data",
                                    u"\\Application Data",
                                    u"Local Settings",
                                    u"Temp",
                                    u"\U0001F600",
                                    u"\u0416"};
  WString text;
  std::size_t pieces = data.ConsumeIntegralInRange<std::size_t>(0, 40);
  for (std::size_t i = 0; i < pieces; ++i) {
    if (data.ConsumeBool()) {
      text += kPieces[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kPieces) - 1)];
    } else {
      text += WString(data.ConsumeIntegralInRange<std::size_t>(1, 120),
                      static_cast<WChar>(data.ConsumeIntegralInRange<unsigned>(1, 0xFFFF)));
    }
  }
  return text;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// Empty, or more than the suffix and ending in it, within `limit` units.
void CheckFolderText(const WString& text, const WString& suffix, std::size_t limit) {
  Check(text.size() <= limit);
  Check(text.find(u'\0') == WString::npos);
  if (text.empty()) return;
  Check(text.size() > suffix.size());
  Check(text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0);
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace velmora;
  FuzzedDataProvider data(bytes, size);
  FakePlatform fake;
  ScopedPlatformOverride use(fake);
  ResetFolderLocations();
  fake.version = data.ConsumeIntegral<std::uint32_t>();

  while (data.remaining_bytes() > 0) {
    int csidl = data.PickValueInArray({CSIDL_DESKTOP, CSIDL_LOCAL_APPDATA, CSIDL_WINDOWS});
    WString folder = RandomFolderText(data);
    fake.folders[csidl] = {data.ConsumeBool() ? 0 : -1, folder};
    if (csidl == CSIDL_DESKTOP) fake.AddDirectory(folder);

    switch (data.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        WString path = u"unchanged";
        if (GetWorkingFolder(path)) {
          // The folder fits a buffer with its terminator; the backslash is extra.
          CheckFolderText(path, u"\\Velmora Drivers Diagnostics\\", kMaxPath);
          Check(!path.empty());
        } else {
          Check(path == u"unchanged");
        }
        ResetFolderLocations();  // the working folder is looked up once a process
        break;
      }
      case 1:
        CheckFolderText(GetTempFolder(), u"\\Temp\\", kMaxPath - 1);
        break;
      case 2:
        CheckFolderText(GetWindowsFolder(), u"", kMaxPath - 1);
        break;
      default:
        ResetFolderLocations();
        break;
    }
  }
  ResetFolderLocations();
  return 0;
}
