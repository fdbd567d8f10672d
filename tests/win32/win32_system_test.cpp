// Runs under Wine: the Win32 calls behind folder lookups, directories, the
// version and the active window, as the logic relies on them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

WString Lookup(int csidl, std::int32_t* result) {
  WChar buffer[kMaxPath];
  buffer[0] = u'?';
  *result = SystemPlatform().SHGetFolderPathW(csidl, buffer);
  return WString(buffer);
}

fs::path ToFs(const WString& path) {
  return fs::path(reinterpret_cast<const wchar_t*>(path.c_str()));
}

WString FromFs(const fs::path& path) {
  const std::wstring& wide = path.native();
  return WString(reinterpret_cast<const WChar*>(wide.c_str()), wide.size());
}

// A scratch folder below the system's temporary folder, removed afterwards.
class ScratchFolder : public ::testing::Test {
 protected:
  ScratchFolder() {
    root =
        fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root);
    fs::create_directories(root);
  }
  ~ScratchFolder() override { fs::remove_all(root); }
  WString Path(const WString& name) const { return FromFs(root) + u"\\" + name; }

  fs::path root;
};

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

TEST(Win32System, VersionAndActiveWindowOfAConsoleProgram) {
  std::uint32_t version = SystemPlatform().GetVersion();
  EXPECT_GE(version & 0xFFu, 5u);
  EXPECT_EQ(SystemPlatform().GetActiveWindow(), nullptr);
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
