#include "tools/report_tools.h"

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

}  // namespace

void RunReportTools(const WString& workingFolder) {
  Platform& platform = CurrentPlatform();

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
