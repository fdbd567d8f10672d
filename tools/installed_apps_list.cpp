#include "tools/installed_apps_list.h"

#include <algorithm>
#include <tuple>

#include "collect/log_collection.h"

namespace velmora {
namespace {

WString FoldedAscii(const WString& text) {
  WString folded = text;
  for (WChar& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<WChar>(c - u'A' + u'a');
  }
  return folded;
}

// Characters as a reader counts them: a surrogate pair is one.
std::size_t Characters(const WString& text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) ++i;
    ++count;
  }
  return count;
}

void AppendCell(WString& line, const WString& cell, std::size_t width) {
  line += cell;
  line.append(width - Characters(cell), u' ');
}

}  // namespace

std::vector<UninstallEntry> ListedPrograms(std::vector<UninstallEntry> entries) {
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const UninstallEntry& entry) {
                                 return entry.name.empty() || entry.systemComponent || entry.update;
                               }),
                entries.end());
  const auto key = [](const UninstallEntry& entry) {
    return std::make_tuple(FoldedAscii(entry.name), entry.name, entry.version);
  };
  std::sort(entries.begin(), entries.end(),
            [&](const UninstallEntry& a, const UninstallEntry& b) { return key(a) < key(b); });
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [](const UninstallEntry& a, const UninstallEntry& b) {
                              return a.name == b.name && a.version == b.version;
                            }),
                entries.end());
  return entries;
}

std::string FormatInstalledAppsList(const std::vector<UninstallEntry>& rows) {
  const WString nameHeader = u"Name";
  const WString versionHeader = u"Version";
  std::size_t nameWidth = Characters(nameHeader);
  std::size_t versionWidth = Characters(versionHeader);
  for (const UninstallEntry& row : rows) {
    nameWidth = std::max(nameWidth, Characters(row.name));
    versionWidth = std::max(versionWidth, Characters(row.version));
  }
  nameWidth += 2;
  versionWidth += 2;

  WString text(1, u'\xFEFF');
  const auto line = [&](const WString& name, const WString& version) {
    AppendCell(text, name, nameWidth);
    AppendCell(text, version, versionWidth);
    text += u"\r\n";
  };
  line(nameHeader, versionHeader);
  for (const UninstallEntry& row : rows) line(row.name, row.version);

  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (WChar unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

bool WriteInstalledAppsList(const WString& path) {
  Platform& platform = CurrentPlatform();
  std::vector<UninstallEntry> entries;
  if (!platform.ListInstalledPrograms(entries)) return false;
  ClearReadOnly(path);  // an earlier run's list, made read-only, is replaced too
  return platform.WriteWholeFile(path, FormatInstalledAppsList(ListedPrograms(std::move(entries))));
}

}  // namespace velmora
