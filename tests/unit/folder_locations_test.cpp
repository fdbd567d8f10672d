#include "collect/folder_locations.h"

#include <tuple>

#include "platform/win_constants.h"
#include "platform_fixture.h"

namespace velmora {
namespace {

constexpr std::int32_t kFailure = static_cast<std::int32_t>(0x80004005u);
const WString kSuffix = u"\\Velmora Drivers Diagnostics";

// A folder path of exactly `length` units below C:\.
WString PathOfLength(std::size_t length) {
  WString path = u"C:\\";
  path += WString(length - path.size(), u'd');
  return path;
}

using WorkingFolderTest = PlatformTest;

TEST_F(WorkingFolderTest, CreatesTheFolderAndYieldsItWithOneTrailingBackslash) {
  WString path;
  ASSERT_TRUE(GetWorkingFolder(path));
  EXPECT_EQ(path, u"C:\\Users\\user\\Desktop\\Velmora Drivers Diagnostics\\");
  ASSERT_EQ(fake.createdDirectories.size(), 1u);
  EXPECT_EQ(fake.createdDirectories[0], u"C:\\Users\\user\\Desktop" + kSuffix);
  EXPECT_EQ(fake.folderLookups, std::vector<int>{CSIDL_DESKTOP});
}

TEST_F(WorkingFolderTest, ReusesAFolderThatIsAlreadyThere) {
  fake.AddDirectory(u"C:\\Users\\user\\Desktop" + kSuffix);
  fake.AddFile(u"C:\\Users\\user\\Desktop" + kSuffix + u"\\old.txt", "kept");
  WString path;
  ASSERT_TRUE(GetWorkingFolder(path));
  EXPECT_EQ(path, u"C:\\Users\\user\\Desktop" + kSuffix + u"\\");
  EXPECT_TRUE(fake.createdDirectories.empty());
  ExpectContents(fake, u"C:\\Users\\user\\Desktop" + kSuffix + u"\\old.txt", "kept");
}

TEST_F(WorkingFolderTest, FailsLeavingThePathUnchanged) {
  const std::tuple<const char*, FakePlatform::FolderAnswer, bool> cases[] = {
      {"desktop lookup fails", {kFailure, u""}, false},
      {"desktop lookup succeeds with empty text", {0, u""}, false},
      {"desktop folder missing", {0, u"C:\\Users\\gone\\Desktop"}, false},
      {"file in the folder's place", {0, u"C:\\Users\\user\\Desktop"}, true},
  };
  for (const auto& [name, desktop, fileInItsPlace] : cases) {
    SCOPED_TRACE(name);
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    local.folders[CSIDL_DESKTOP] = desktop;
    if (fileInItsPlace) local.AddFile(desktop.path + kSuffix, "x");
    WString path = u"unchanged";
    EXPECT_FALSE(GetWorkingFolder(path));
    EXPECT_EQ(path, u"unchanged");
  }
}

TEST_F(WorkingFolderTest, DesktopPathMustLeaveRoomForTheFolderName) {
  // 231 + 28 units + terminator fill the 260-unit buffer exactly.
  fake.AddDirectory(PathOfLength(231));
  fake.folders[CSIDL_DESKTOP] = {0, PathOfLength(231)};
  WString path;
  ASSERT_TRUE(GetWorkingFolder(path));
  EXPECT_EQ(path, PathOfLength(231) + kSuffix + u"\\");
  EXPECT_EQ(path.size(), 260u);

  ResetFolderLocations();
  fake.AddDirectory(PathOfLength(232));
  fake.folders[CSIDL_DESKTOP] = {0, PathOfLength(232)};
  WString tooLong = u"unchanged";
  EXPECT_FALSE(GetWorkingFolder(tooLong));
  EXPECT_EQ(tooLong, u"unchanged");
  EXPECT_EQ(fake.createdDirectories.size(), 1u) << "nothing created for the too-long path";
}

using TempFolderTest = PlatformTest;

TEST_F(TempFolderTest, IsLocalApplicationDataWithTempOnTheNewerLayout) {
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, u"C:\\Users\\u\\Application Data\\Local"};
  EXPECT_EQ(GetTempFolder(), u"C:\\Users\\u\\Application Data\\Local\\Temp\\")
      << "the legacy cut never applies to the newer layout";
}

TEST_F(TempFolderTest, LegacyLayoutCutsAtTheFirstApplicationDataCaseSensitively) {
  struct Case {
    std::uint32_t version;
    WString localAppData;
    WString expected;
  };
  const Case cases[] = {
      {0x0A280105u, u"C:\\Documents and Settings\\u\\Local Settings\\Application Data",
       u"C:\\Documents and Settings\\u\\Local Settings\\Temp\\"},
      {5u, u"C:\\P\\Application Data\\x\\Application Data", u"C:\\P\\Temp\\"},
      {5u, u"C:\\P\\Local Settings\\application data",
       u"C:\\P\\Local Settings\\application data\\Temp\\"},
      {5u, u"C:\\P\\Local Settings\\Application DataX", u"C:\\P\\Local Settings\\Temp\\"},
      {4u, u"D:\\Profiles\\u\\Local", u"D:\\Profiles\\u\\Local\\Temp\\"},
      {6u, u"C:\\P\\Application Data", u"C:\\P\\Application Data\\Temp\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.localAppData.begin(), c.localAppData.end()));
    ResetFolderLocations();
    fake.version = c.version;
    fake.folders[CSIDL_LOCAL_APPDATA] = {0, c.localAppData};
    EXPECT_EQ(GetTempFolder(), c.expected);
  }
}

TEST_F(TempFolderTest, LooksUpOnceAfterSuccessAndAgainAfterFailure) {
  fake.folders[CSIDL_LOCAL_APPDATA] = {kFailure, u""};
  EXPECT_EQ(GetTempFolder(), u"");
  EXPECT_EQ(GetTempFolder(), u"");
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, u"C:\\L"};
  EXPECT_EQ(GetTempFolder(), u"C:\\L\\Temp\\");
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, u"C:\\Changed"};
  EXPECT_EQ(GetTempFolder(), u"C:\\L\\Temp\\");
  EXPECT_EQ(fake.Count("Lookup 28"), 3u);
}

TEST_F(TempFolderTest, PathWithoutRoomForTempCountsAsAFailedLookup) {
  // 253 + "\Temp\" (6) + terminator fill the buffer exactly.
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, PathOfLength(253)};
  EXPECT_EQ(GetTempFolder(), PathOfLength(253) + u"\\Temp\\");

  ResetFolderLocations();
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, PathOfLength(254)};
  EXPECT_EQ(GetTempFolder(), u"");
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, u"C:\\Short"};
  EXPECT_EQ(GetTempFolder(), u"C:\\Short\\Temp\\") << "the next call tries again";
}

TEST_F(TempFolderTest, LegacyCutLeavingNothingIsAFailedLookup) {
  fake.version = 5;
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, u"\\Application Data"};
  EXPECT_EQ(GetTempFolder(), u"");
  fake.folders[CSIDL_LOCAL_APPDATA] = {0, u"C:\\LS\\Application Data"};
  EXPECT_EQ(GetTempFolder(), u"C:\\LS\\Temp\\");
}

using WindowsFolderTest = PlatformTest;

TEST_F(WindowsFolderTest, LooksUpOnceAfterSuccessAndAgainAfterFailure) {
  fake.folders[CSIDL_WINDOWS] = {kFailure, u""};
  EXPECT_EQ(GetWindowsFolder(), u"");
  fake.folders[CSIDL_WINDOWS] = {0, u"D:\\WINNT"};
  EXPECT_EQ(GetWindowsFolder(), u"D:\\WINNT");
  fake.folders[CSIDL_WINDOWS] = {0, u"E:\\Other"};
  EXPECT_EQ(GetWindowsFolder(), u"D:\\WINNT");
  EXPECT_EQ(fake.Count("Lookup 36"), 2u);
}

}  // namespace
}  // namespace velmora
