// Runs under Wine: the Win32 file layer the log steps stand on (searches,
// file times, copies, attributes), in seconds rather than in a whole run.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>

#include "collect/log_collection.h"
#include "platform/platform.h"
#include "platform/win_constants.h"
#include "win32_test_support.h"

namespace velmora {
namespace {

// Times whose low halves have the top bit set and whose high halves differ,
// so that a comparison of either half alone, or a signed one, goes wrong.
constexpr FileTime kEarlier = 0x01D9000080000000ull;
constexpr FileTime kLater = 0x01DA00007FFFFFFFull;

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

void SetLastWriteTime(const fs::path& path, FileTime time) {
  // Folders open only with backup semantics.
  HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
  written.dwHighDateTime = static_cast<DWORD>(time >> 32);
  EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &written));
  CloseHandle(handle);
}

bool IsReadOnly(const fs::path& path) {
  return (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
}

using Win32Files = ScratchFolder;

TEST_F(Win32Files, SearchYieldsFoldersAsFoldersAndFilesAsFilesWithTheirTimes) {
  WriteAll(root / "setup.log", "a log");
  fs::create_directory(root / "folder.log");
  fs::create_directory(root / "other");
  WriteAll(root / "other" / "inside.log", "not searched");
  WriteAll(root / "notes.txt", "no match");
  SetLastWriteTime(root / "setup.log", kEarlier);
  SetLastWriteTime(root / "folder.log", kLater);

  std::map<WString, std::pair<FileTime, bool>> found;
  auto search = SystemPlatform().FindFirstFileW(Path(u"*.log"));
  ASSERT_NE(search, nullptr);
  for (FindEntry entry; search->Next(entry);) {
    EXPECT_TRUE(
        found.emplace(entry.name, std::make_pair(entry.lastWriteTime, entry.isDirectory)).second)
        << "each entry once";
  }
  const std::map<WString, std::pair<FileTime, bool>> expected = {{u"setup.log", {kEarlier, false}},
                                                                 {u"folder.log", {kLater, true}}};
  EXPECT_EQ(found, expected);
  EXPECT_EQ(SystemPlatform().FindFirstFileW(Path(u"*.msg")), nullptr);
}

TEST_F(Win32Files, CompareFileTimeOrdersTheWholeSixtyFourBits) {
  Platform& platform = SystemPlatform();
  const FileTime pairs[][2] = {
      {kLater, kEarlier},
      {0x0000000100000000ull, 0x00000000FFFFFFFFull},  // only the high halves differ
      {0x0000000080000000ull, 0x000000007FFFFFFFull},  // the low half's top bit
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(std::to_string(pair[0]) + " " + std::to_string(pair[1]));
    EXPECT_GT(platform.CompareFileTime(pair[0], pair[1]), 0);
    EXPECT_LT(platform.CompareFileTime(pair[1], pair[0]), 0);
    EXPECT_EQ(platform.CompareFileTime(pair[0], pair[0]), 0);
  }
}

TEST_F(Win32Files, CopyOverwritesWithTheSourcesContents) {
  std::string contents(100000, '\0');
  for (std::size_t i = 0; i < contents.size(); ++i)
    contents[i] = static_cast<char>(i * 7 + i / 251);
  WriteAll(root / "source.log", contents);
  WriteAll(root / "copy.log", std::string(300000, 'x'));  // longer than the new contents

  EXPECT_TRUE(SystemPlatform().CopyFileW(Path(u"source.log"), Path(u"copy.log")));
  EXPECT_EQ(ReadAll(root / "copy.log"), contents);
  EXPECT_EQ(ReadAll(root / "source.log"), contents);
  EXPECT_FALSE(SystemPlatform().CopyFileW(Path(u"missing.log"), Path(u"copy.log")));
  EXPECT_EQ(ReadAll(root / "copy.log"), contents);
}

// A read-only log gives a read-only copy. Run as root, Wine writes over a
// read-only file anyway, so what is checked is the attribute a later run
// as an ordinary user would trip over.
TEST_F(Win32Files, CopiesIntoTheWorkingFolderAreNeverLeftReadOnly) {
  Platform& platform = SystemPlatform();
  fs::create_directory(root / "work");
  WriteAll(root / "source.log", "this run");
  ASSERT_TRUE(platform.SetFileAttributesW(Path(u"source.log"), FILE_ATTRIBUTE_READONLY));

  CopyIntoWorkingFolder(Path(u"source.log"), Path(u"work\\new.log"));
  EXPECT_EQ(ReadAll(root / "work" / "new.log"), "this run");
  EXPECT_FALSE(IsReadOnly(root / "work" / "new.log"));

  WriteAll(root / "work" / "earlier.log", "an earlier run");
  ASSERT_TRUE(platform.SetFileAttributesW(Path(u"work\\earlier.log"), FILE_ATTRIBUTE_READONLY));
  CopyIntoWorkingFolder(Path(u"source.log"), Path(u"work\\earlier.log"));
  EXPECT_EQ(ReadAll(root / "work" / "earlier.log"), "this run");
  EXPECT_FALSE(IsReadOnly(root / "work" / "earlier.log"));

  EXPECT_TRUE(IsReadOnly(root / "source.log")) << "the source is never changed";
  EXPECT_EQ(platform.GetFileAttributesW(Path(u"missing.log")),
            static_cast<std::uint32_t>(INVALID_FILE_ATTRIBUTES));
}

}  // namespace
}  // namespace velmora
