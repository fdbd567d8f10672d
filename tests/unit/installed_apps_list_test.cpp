#include "tools/installed_apps_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/utf.h"

namespace velmora {
namespace {

UninstallEntry Entry(const WString& name, const WString& version, bool systemComponent = false,
                     bool update = false) {
  return UninstallEntry{name, version, systemComponent, update};
}

// The UTF-16LE bytes of `text` after a byte-order mark.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::vector<std::string> Rows(const std::vector<UninstallEntry>& entries) {
  std::vector<std::string> rows;
  for (const UninstallEntry& entry : entries) {
    rows.push_back(Utf16ToUtf8(entry.name) + " | " + Utf16ToUtf8(entry.version));
  }
  return rows;
}

TEST(InstalledAppsList, RowsAreWhatWindowsListsSortedByNameOnceEach) {
  struct Case {
    const char* what;
    std::vector<UninstallEntry> entries;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"nothing installed", {}, {}},
      {"system components, updates and entries without a name are left out",
       {Entry(u"Runtime", u"1.0", true),
        Entry(u"Update for Velmora Drivers (KB1)", u"", false, true), Entry(u"", u"9.9"),
        Entry(u"Velmora Drivers", u"5.2.8")},
       {"Velmora Drivers | 5.2.8"}},
      {"sorted by name, letter case aside, then as written",
       {Entry(u"zeta", u"1"), Entry(u"Alpha", u"2"), Entry(u"beta", u"3"), Entry(u"Beta", u"4"),
        Entry(u"\u00c4rger", u"5")},
       {"Alpha | 2", "Beta | 4", "beta | 3", "zeta | 1", "\xc3\x84rger | 5"}},
      {"the same name and version from two views once; another version stays",
       {Entry(u"Velmora Drivers", u"5.2.8"), Entry(u"Velmora Drivers", u"5.3.0"),
        Entry(u"Velmora Drivers", u"5.2.8"), Entry(u"velmora drivers", u"5.2.8")},
       {"Velmora Drivers | 5.2.8", "Velmora Drivers | 5.3.0", "velmora drivers | 5.2.8"}},
      {"the same name without a version and with one are two rows",
       {Entry(u"Tool", u""), Entry(u"Tool", u"1.0"), Entry(u"Tool", u"")},
       {"Tool | ", "Tool | 1.0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Rows(ListedPrograms(c.entries)), c.rows);
  }
}

TEST(InstalledAppsList, TableIsInWmicsForm) {
  struct Case {
    const char* what;
    std::vector<UninstallEntry> rows;
    std::u16string text;
  };
  const Case cases[] = {
      {"header only: each column its header's width plus two blanks", {}, u"Name  Version  \r\n"},
      {"the widest cell sets each column; an empty version is blanks",
       {Entry(u"Velmora Drivers", u"5.2.8"), Entry(u"Velmora Control Center", u""),
        Entry(u"X", u"10.0.19041.1")},
       u"Name                    Version       \r\n"
       u"Velmora Drivers         5.2.8         \r\n"
       u"Velmora Control Center                \r\n"
       u"X                       10.0.19041.1  \r\n"},
      {"a surrogate pair is one character, CJK and accents one each",
       {Entry(u"\U0001D11E\u96ea\u00e9", u"1"), Entry(u"abcd", u"2")},
       u"Name  Version  \r\n"
       u"\U0001D11E\u96ea\u00e9   1        \r\n"
       u"abcd  2        \r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FormatInstalledAppsList(c.rows), Utf16File(c.text));
  }
}

}  // namespace
}  // namespace velmora
