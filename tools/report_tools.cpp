#include "tools/report_tools.h"

#include "collect/folder_locations.h"
#include "platform/platform.h"
#include "tools/processes.h"

namespace velmora {
namespace {

// The quotes keep a working folder with blanks in one piece.
const WChar kInstalledAppsParameters[] =
    u"/output:\"%sinstalledapps.txt\" product get name, version";
const WChar kSystemInfoParameters[] = u"/nfo \"%ssysinfo.nfo\"";

// The format with `path` put in place of its one "%s", character for
// character: the path is text, never read as a format.
WString FillIn(const WString& format, const WString& path) {
  WString text = format;
  text.replace(text.find(u"%s"), 2, path);
  return text;
}

// The shell looks for a program started by bare name in the current folder
// first, and that is where the tool was started from, often the user's
// downloads, where anyone's "wmic.exe" may lie. The Windows folder, where
// the shell would look next, holds nothing a user can write; the system
// directory stands in when it is unknown or cannot be entered.
void LeaveTheStartFolder() {
  Platform& platform = CurrentPlatform();
  const WString windows = GetWindowsFolder();
  if (!windows.empty() && platform.SetCurrentDirectoryW(windows)) return;
  WChar system[kMaxPath];
  const std::uint32_t length = platform.GetSystemDirectoryW(system);
  if (length == 0 || length >= kMaxPath) return;
  platform.SetCurrentDirectoryW(WString(system, length));
}

}  // namespace

void RunReportTools(const WString& workingFolder) {
  Platform& platform = CurrentPlatform();
  LeaveTheStartFolder();

  platform.PrintMessage(u"-- Getting list of installed applications\n");
  CShellExecProcessImpl installedApps(u"wmic", FillIn(kInstalledAppsParameters, workingFolder),
                                      u"open");
  installedApps.Run();

  platform.PrintMessage(u"-- Getting system information. Please wait...\n");
  CShellExecProcessImpl systemInfo(u"msinfo32.exe", FillIn(kSystemInfoParameters, workingFolder),
                                   u"open");
  systemInfo.Run();

  systemInfo.WaitForExit();
  installedApps.WaitForExit();
  // Leaving the scope destroys systemInfo first, then installedApps.
}

}  // namespace velmora
