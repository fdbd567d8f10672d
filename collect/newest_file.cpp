#include "collect/newest_file.h"

#include "collect/folder_locations.h"
#include "platform/platform.h"

namespace velmora {

bool FindNewestFile(WString& name, const WString& exclusion, const WString& pattern,
                    WString& path) {
  // Empty text would make the search run in the process's current folder.
  const WString folder = GetTempFolder();
  if (folder.empty()) return false;

  Platform& platform = CurrentPlatform();
  bool taken = false;
  FileTime newest = 0;
  {
    std::unique_ptr<FileSearch> search = platform.FindFirstFileW(folder + pattern);
    if (!search) return false;
    for (FindEntry entry; search->Next(entry);) {
      if (entry.isDirectory) continue;
      if (!exclusion.empty() && entry.name.find(exclusion) != WString::npos) continue;
      // The first file is always taken, even with a zero time, so that a
      // true result always comes with this search's own file.
      if (taken && platform.CompareFileTime(entry.lastWriteTime, newest) <= 0) continue;
      taken = true;
      newest = entry.lastWriteTime;
      path = folder + entry.name;
      name = entry.name;
    }
  }  // the search is closed here, before the caller copies anything
  return taken;
}

}  // namespace velmora
