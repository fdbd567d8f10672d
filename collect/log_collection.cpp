#include "collect/log_collection.h"

#include "collect/folder_locations.h"
#include "collect/newest_file.h"
#include "collect/system_layout.h"
#include "platform/platform.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

struct InstallerLogStep {
  const WChar* line;
  const WChar* pattern;
  const WChar* exclusion;
};

// The MSI pattern matches the WiX logs' names too; its exclusion keeps out
// those with ".msi." in them, the rest are taken by both steps.
constexpr InstallerLogStep kInstallerLogSteps[] = {
    {u"-- Copying MSI logs\n", u"Velmora_Drivers_*.log", u".msi."},
    {u"-- Copying Wix logs\n", u"Velmora_Drivers_*msi.log", u""},
    {u"-- Copying rollback log\n", u"vl_*msi_rollback.log", u""},
};

}  // namespace

// A copy keeps its source's attributes, so a read-only log gives a
// read-only copy, and the next run's copy onto it would fail, leaving the
// old one to be sent as current. Only copies in the working folder are
// changed, never a source.
void ClearReadOnly(const WString& path) {
  Platform& platform = CurrentPlatform();
  std::uint32_t attributes = platform.GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return;
  }
  attributes &= ~static_cast<std::uint32_t>(FILE_ATTRIBUTE_READONLY);
  platform.SetFileAttributesW(path, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

void CopyIntoWorkingFolder(const WString& source, const WString& destination) {
  ClearReadOnly(destination);
  CurrentPlatform().CopyFileW(source, destination);
  ClearReadOnly(destination);
}

void CollectLogs(const WString& workingFolder) {
  Platform& platform = CurrentPlatform();
  WString name;
  WString path;
  for (const InstallerLogStep& step : kInstallerLogSteps) {
    platform.PrintMessage(step.line);
    CopyNewestLog(workingFolder, step.pattern, step.exclusion, name, path);
  }
  platform.PrintMessage(u"-- Copying setupapi logs\n");
  CopySetupLog(workingFolder);
}

void CopyNewestLog(const WString& workingFolder, const WString& pattern, const WString& exclusion,
                   WString& name, WString& path) {
  if (!FindNewestFile(name, exclusion, pattern, path)) return;
  CopyIntoWorkingFolder(path, workingFolder + name);
}

void CopySetupLog(const WString& workingFolder) {
  Platform& platform = CurrentPlatform();
  const bool legacy = IsLegacyLayout(platform.GetVersion());
  const WString destination = workingFolder + (legacy ? u"setupapi.log" : u"setupapi.dev.log");
  // Empty text would turn the source into a path from the drive's root.
  const WString windows = GetWindowsFolder();
  if (windows.empty()) return;
  const WString source = windows + (legacy ? u"\\setupapi.log" : u"\\INF\\setupapi.dev.log");
  CopyIntoWorkingFolder(source, destination);
}

}  // namespace velmora
