// Runs under Wine, in a prefix of this test program's own: the report
// programs looked for where Windows keeps them, the uninstall lists read
// from the registry however their values are stored, and files written
// whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"
#include "platform/win32/registry_reading.h"
#include "win32_test_support.h"

namespace velmora {
namespace {

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

// A program moved aside for as long as it lives (a rename: the prefix's
// system files are shared with its template and never written).
class MovedAside {
 public:
  explicit MovedAside(std::wstring path) : path_(std::move(path)) {
    moved_ = MoveFileW(path_.c_str(), (path_ + L".aside").c_str()) != FALSE;
  }
  ~MovedAside() {
    if (moved_) MoveFileW((path_ + L".aside").c_str(), path_.c_str());
  }
  bool moved() const { return moved_; }

 private:
  std::wstring path_;
  bool moved_ = false;
};

const wchar_t kMsInfoAppPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msinfo32.exe";

void SetText(HKEY key, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ,
             bool terminated = true) {
  const DWORD bytes = static_cast<DWORD>((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes),
            ERROR_SUCCESS);
}

using Win32ReportPrograms = ScratchFolder;

TEST_F(Win32ReportPrograms, FoundWhereWindowsKeepsThemAndNowhereElse) {
  Platform& platform = SystemPlatform();
  EXPECT_TRUE(platform.SystemProgramExists(SystemProgram::Wmic));
  EXPECT_TRUE(platform.SystemProgramExists(SystemProgram::MsInfo32));
  {
    MovedAside wmic(SystemFolder() + L"\\wbem\\wmic.exe");
    ASSERT_TRUE(wmic.moved());
    EXPECT_FALSE(platform.SystemProgramExists(SystemProgram::Wmic));
    // A wmic.exe in the system directory itself is not where WMIC lives.
    const fs::path stray = ToFs(FromWideText(SystemFolder())) / "wmic.exe";
    std::ofstream(stray) << "MZ";
    EXPECT_FALSE(platform.SystemProgramExists(SystemProgram::Wmic));
    fs::remove(stray);
    EXPECT_TRUE(platform.SystemProgramExists(SystemProgram::MsInfo32));
  }
  EXPECT_TRUE(platform.SystemProgramExists(SystemProgram::Wmic)) << "back where it was";

  MovedAside msinfo(SystemFolder() + L"\\msinfo32.exe");
  ASSERT_TRUE(msinfo.moved());
  EXPECT_FALSE(platform.SystemProgramExists(SystemProgram::MsInfo32));
  // Where XP keeps it: under Common Files, named by its App Paths entry,
  // which may hold environment references and quotes.
  const fs::path elsewhere = root / "MSInfo" / "msinfo32.exe";
  fs::create_directories(elsewhere.parent_path());
  std::ofstream(elsewhere) << "MZ";
  SetEnvironmentVariableW(L"VELMORA_MSINFO_FOLDER", (root / "MSInfo").c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMsInfoAppPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  struct Case {
    const wchar_t* stored;
    DWORD type;
    bool found;
  };
  const Case cases[] = {
      {L"%VELMORA_MSINFO_FOLDER%\\msinfo32.exe", REG_EXPAND_SZ, true},
      {L"\"%VELMORA_MSINFO_FOLDER%\\msinfo32.exe\"", REG_EXPAND_SZ, true},
      {L"%VELMORA_MSINFO_FOLDER%\\missing.exe", REG_EXPAND_SZ, false},
      {L"%VELMORA_MSINFO_FOLDER%", REG_EXPAND_SZ, false},  // a folder is no program
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(FromWideText(c.stored)));
    SetText(key, nullptr, c.stored, c.type);
    EXPECT_EQ(platform.SystemProgramExists(SystemProgram::MsInfo32), c.found);
  }
  SetText(key, nullptr, (root / "MSInfo" / "msinfo32.exe").wstring(), REG_SZ, false);
  EXPECT_TRUE(platform.SystemProgramExists(SystemProgram::MsInfo32)) << "stored unterminated";
  RegCloseKey(key);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMsInfoAppPath);
  EXPECT_FALSE(platform.SystemProgramExists(SystemProgram::MsInfo32));
}

// A list of uninstall entries of the test's own below HKCU, written as
// installers (and damaged registries) leave them.
class Win32UninstallList : public ::testing::Test {
 protected:
  Win32UninstallList() {
    path_ = L"Software\\VelmoraTests\\" +
            std::wstring(Wide(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    RegDeleteTreeLike(path_);
  }
  ~Win32UninstallList() override { RegDeleteTreeLike(path_); }

  HKEY Entry(const std::wstring& name) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\" + name).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    keys_.push_back(key);
    return key;
  }

  std::map<std::string, UninstallEntry> Read(bool* listed) {
    for (HKEY key : keys_) RegCloseKey(key);
    keys_.clear();
    std::vector<UninstallEntry> entries;
    *listed = registry::ReadUninstallList(HKEY_CURRENT_USER, path_.c_str(), 0, entries);
    std::map<std::string, UninstallEntry> byName;
    for (const UninstallEntry& entry : entries) byName[Utf16ToUtf8(entry.name)] = entry;
    EXPECT_EQ(byName.size(), entries.size()) << "each entry once";
    return byName;
  }

  static std::wstring Wide(const char* text) { return std::wstring(text, text + strlen(text)); }

  // RegDeleteTree is Vista's: the two levels used here, by hand.
  static void RegDeleteTreeLike(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
      return;
    }
    wchar_t name[300];
    for (;;) {
      DWORD length = 300;
      if (RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      if (RegDeleteKeyW(key, name) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
  }

  std::wstring path_;
  std::vector<HKEY> keys_;
};

TEST_F(Win32UninstallList, ValuesAreReadAsStoredWithinTheirLimits) {
  SetText(Entry(L"Plain"), L"DisplayName", L"Velmora Drivers");
  SetText(Entry(L"Plain"), L"DisplayVersion", L"5.2.8");
  // Stored without a terminator, and with text after one.
  SetText(Entry(L"Unterminated"), L"DisplayName", L"Unterminated Tool", REG_SZ, false);
  SetText(Entry(L"Unterminated"), L"DisplayVersion", L"1.2", REG_SZ, false);
  SetText(Entry(L"Embedded"), L"DisplayName", std::wstring(L"Embedded\0junk", 13));
  SetText(Entry(L"Expand"), L"DisplayName", L"%NotExpanded%", REG_EXPAND_SZ);
  // An odd number of bytes: the last half unit is no character.
  const wchar_t odd[] = L"Odd";
  RegSetValueExW(Entry(L"OddSize"), L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd),
                 5);
  // 259 units fit with their terminator; 260 and far more do not, and are
  // skipped rather than cut.
  SetText(Entry(L"Longest"), L"DisplayName", std::wstring(259, L'L'));
  SetText(Entry(L"TooLong"), L"DisplayName", std::wstring(260, L'T'));
  SetText(Entry(L"FarTooLong"), L"DisplayName", std::wstring(5000, L'F'));
  const DWORD number = 7;
  RegSetValueExW(Entry(L"NumberName"), L"DisplayName", 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&number), sizeof(number));
  SetText(Entry(L"OddVersion"), L"DisplayName", L"Binary Version");
  RegSetValueExW(Entry(L"OddVersion"), L"DisplayVersion", 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(&number), sizeof(number));
  SetText(Entry(L"Unnamed"), L"DisplayVersion", L"3.0");
  SetText(Entry(L"VersionTooLong"), L"DisplayName", L"Long Version");
  SetText(Entry(L"VersionTooLong"), L"DisplayVersion", std::wstring(400, L'9'));
  // A key name of the longest length the registry allows.
  SetText(Entry(std::wstring(255, L'k')), L"DisplayName", L"Long Key");

  bool listed = false;
  const auto entries = Read(&listed);
  ASSERT_TRUE(listed);
  std::map<std::string, std::string> versions;
  for (const auto& [name, entry] : entries) versions[name] = Utf16ToUtf8(entry.version);
  const std::map<std::string, std::string> expected = {{"Velmora Drivers", "5.2.8"},
                                                       {"Unterminated Tool", "1.2"},
                                                       {"Embedded", ""},
                                                       {"%NotExpanded%", ""},
                                                       {"Od", ""},
                                                       {std::string(259, 'L'), ""},
                                                       {"Binary Version", ""},
                                                       {"", "3.0"},
                                                       {"Long Version", ""},
                                                       {"Long Key", ""}};
  EXPECT_EQ(versions, expected);
}

TEST_F(Win32UninstallList, SystemComponentsAndUpdatesAreMarked) {
  struct Case {
    const wchar_t* key;
    bool systemComponent;
    bool update;
  };
  const DWORD one = 1, zero = 0;
  HKEY key = Entry(L"Component");
  SetText(key, L"DisplayName", L"Component");
  RegSetValueExW(key, L"SystemComponent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  key = Entry(L"NotComponent");
  SetText(key, L"DisplayName", L"NotComponent");
  RegSetValueExW(key, L"SystemComponent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
  key = Entry(L"ComponentAsText");
  SetText(key, L"DisplayName", L"ComponentAsText");
  SetText(key, L"SystemComponent", L"1");
  key = Entry(L"Update");
  SetText(key, L"DisplayName", L"Update");
  SetText(key, L"ParentKeyName", L"VelmoraDrivers");
  key = Entry(L"LongParent");
  SetText(key, L"DisplayName", L"LongParent");
  SetText(key, L"ParentKeyName", std::wstring(1000, L'P'));
  key = Entry(L"EmptyParent");
  SetText(key, L"DisplayName", L"EmptyParent");
  SetText(key, L"ParentKeyName", L"");

  bool listed = false;
  const auto entries = Read(&listed);
  ASSERT_TRUE(listed);
  const Case cases[] = {{L"Component", true, false},        {L"NotComponent", false, false},
                        {L"ComponentAsText", false, false}, {L"Update", false, true},
                        {L"LongParent", false, true},       {L"EmptyParent", false, false}};
  ASSERT_EQ(entries.size(), std::size(cases));
  for (const Case& c : cases) {
    const std::string name = Utf16ToUtf8(FromWideText(c.key));
    SCOPED_TRACE(name);
    ASSERT_EQ(entries.count(name), 1u);
    EXPECT_EQ(entries.at(name).systemComponent, c.systemComponent);
    EXPECT_EQ(entries.at(name).update, c.update);
  }
}

TEST_F(Win32UninstallList, AListThatCannotBeOpenedIsNoList) {
  std::vector<UninstallEntry> entries;
  EXPECT_FALSE(registry::ReadUninstallList(HKEY_CURRENT_USER, L"Software\\VelmoraTests\\Missing", 0,
                                           entries));
  EXPECT_TRUE(entries.empty());
  // The system's own lists: the prefix's machine list is there, so the
  // whole reading is.
  EXPECT_TRUE(SystemPlatform().ListInstalledPrograms(entries));
}

using Win32WholeFile = ScratchFolder;

TEST_F(Win32WholeFile, WrittenWholeReplacingWhatWasThereOrNotAtAll) {
  Platform& platform = SystemPlatform();
  const std::string bytes("\xFF\xFEN\0a\0\r\0\n\0", 10);
  const fs::path file = root / "installedapps.txt";
  std::ofstream(file) << "an earlier, longer list that must not show through";
  ASSERT_TRUE(platform.WriteWholeFile(FromFs(file), bytes));
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            bytes);
  in.close();

  // A folder in the file's place, a folder that is not there: not written,
  // and nothing there changed or left behind. (A read-only file refuses
  // CREATE_ALWAYS on Windows; Wine run as root writes it all the same.)
  fs::create_directory(root / "folder");
  EXPECT_FALSE(platform.WriteWholeFile(FromFs(root / "folder"), bytes));
  EXPECT_TRUE(fs::is_directory(root / "folder"));
  EXPECT_FALSE(platform.WriteWholeFile(FromFs(root / "missing" / "list.txt"), bytes));
  EXPECT_FALSE(fs::exists(root / "missing"));
}

}  // namespace
}  // namespace velmora
