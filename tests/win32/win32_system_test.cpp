// Runs under Wine: the Win32 calls behind folder lookups, directories, the
// version and the active window, as the logic relies on them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/platform.h"
#include "platform/win_constants.h"
#include "win32_test_support.h"

namespace velmora {
namespace {

WString Lookup(int csidl, std::int32_t* result) {
  WChar buffer[kMaxPath];
  buffer[0] = u'?';
  *result = SystemPlatform().SHGetFolderPathW(csidl, buffer);
  return WString(buffer);
}

TEST(Win32Folders, KnownFoldersAreFoundAndExist) {
  for (int csidl : {CSIDL_DESKTOP, CSIDL_LOCAL_APPDATA, CSIDL_WINDOWS}) {
    SCOPED_TRACE(csidl);
    std::int32_t result = -1;
    WString path = Lookup(csidl, &result);
    EXPECT_GE(result, 0);
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.back(), u'\\') << "folder paths come without a trailing backslash";
    EXPECT_TRUE(SystemPlatform().IsDirectory(path));
  }
  std::int32_t result = -1;
  const char* systemRoot = std::getenv("SystemRoot");
  ASSERT_NE(systemRoot, nullptr);
  WString expected(systemRoot, systemRoot + std::char_traits<char>::length(systemRoot));
  EXPECT_EQ(fs::path(ToFs(Lookup(CSIDL_WINDOWS, &result))), fs::path(ToFs(expected)));
}

TEST(Win32Folders, FailedLookupIsNegativeAndLeavesEmptyText) {
  std::int32_t result = 0;
  WString path = Lookup(0x00FF, &result);  // no such folder
  EXPECT_LT(result, 0);
  EXPECT_EQ(path, u"");
}

// The layout is chosen from the low byte: it must be the major version.
TEST(Win32System, VersionsLowByteIsTheMajorVersion) {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(GetVersionExW(&info));
  const std::uint32_t version = SystemPlatform().GetVersion();
  EXPECT_EQ(version & 0xFFu, info.dwMajorVersion);
  EXPECT_EQ((version >> 8) & 0xFFu, info.dwMinorVersion);
}

// The report programs are started from the Windows folder or, failing
// that, the system directory.
using Win32CurrentFolder = ScratchFolder;

TEST_F(Win32CurrentFolder, ChangesToAFolderAndFindsTheSystemDirectory) {
  Platform& platform = SystemPlatform();
  WChar system[kMaxPath];
  const std::uint32_t length = platform.GetSystemDirectoryW(system);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, kMaxPath);
  const WString systemFolder(system, length);
  EXPECT_TRUE(platform.IsDirectory(systemFolder));
  EXPECT_TRUE(fs::exists(ToFs(systemFolder) / "kernel32.dll"));

  const fs::path before = fs::current_path();
  ASSERT_TRUE(platform.SetCurrentDirectoryW(FromFs(root)));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), root));
  ASSERT_TRUE(platform.SetCurrentDirectoryW(systemFolder));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), ToFs(systemFolder)));
  EXPECT_FALSE(platform.SetCurrentDirectoryW(Path(u"missing")));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), ToFs(systemFolder))) << "left where it was";
  fs::current_path(before);
}

using Win32Directories = ScratchFolder;

TEST_F(Win32Directories, CreateReportsWhatStandsInTheWay) {
  Platform& platform = SystemPlatform();
  const WString folder = Path(u"Velmora Drivers Diagnostics");
  ASSERT_TRUE(platform.CreateDirectoryW(folder));
  EXPECT_TRUE(platform.IsDirectory(folder));

  EXPECT_FALSE(platform.CreateDirectoryW(folder));
  EXPECT_EQ(platform.GetLastError(), static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));

  const WString file = Path(u"plain file");
  { std::ofstream(ToFs(file)) << "x"; }
  EXPECT_FALSE(platform.CreateDirectoryW(file));
  EXPECT_EQ(platform.GetLastError(), static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(platform.IsDirectory(file));

  EXPECT_FALSE(platform.CreateDirectoryW(Path(u"missing\\child")));
  EXPECT_EQ(platform.GetLastError(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(platform.IsDirectory(Path(u"missing")));
}

TEST_F(Win32Directories, WideNamesPassThroughUnchanged) {
  Platform& platform = SystemPlatform();
  const WString folder = Path(u"\u0416\u0443\u0440\u043d\u0430\u043b \u65e5\u672c \U0001F600");
  ASSERT_TRUE(platform.CreateDirectoryW(folder));
  EXPECT_TRUE(fs::is_directory(ToFs(folder)));
  EXPECT_TRUE(platform.IsDirectory(folder));
}

}  // namespace
}  // namespace velmora
