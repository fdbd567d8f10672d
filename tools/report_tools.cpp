#include "tools/report_tools.h"

#include "collect/folder_locations.h"
#include "platform/platform.h"
#include "tools/installed_apps_list.h"
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

// What is at a path: whether a file is there and when it was last written.
struct FileStamp {
  bool present = false;
  FileTime lastWriteTime = 0;
  bool operator==(const FileStamp& other) const {
    return present == other.present && lastWriteTime == other.lastWriteTime;
  }
};

FileStamp StampOf(const WString& path) {
  FileStamp stamp;
  std::unique_ptr<FileSearch> search = CurrentPlatform().FindFirstFileW(path);
  FindEntry entry;
  if (search && search->Next(entry) && !entry.isDirectory) {
    stamp.present = true;
    stamp.lastWriteTime = entry.lastWriteTime;
  }
  return stamp;
}

}  // namespace

void RunReportTools(const WString& workingFolder) {
  Platform& platform = CurrentPlatform();
  LeaveTheStartFolder();

  // A program that is not there is not started: the shell would answer with
  // an error box of its own and hold the run until someone clicks it away.
  platform.PrintMessage(u"-- Getting list of installed applications\n");
  const WString list = workingFolder + u"installedapps.txt";
  CShellExecProcessImpl installedApps(u"wmic", FillIn(kInstalledAppsParameters, workingFolder),
                                      u"open");
  const bool wmic = platform.SystemProgramExists(SystemProgram::Wmic);
  // An earlier run's list may be there already: only a file WMIC wrote or
  // touched in this run counts as its list.
  const FileStamp before = wmic ? StampOf(list) : FileStamp();
  if (wmic) installedApps.Run();

  platform.PrintMessage(u"-- Getting system information. Please wait...\n");
  CShellExecProcessImpl systemInfo(u"msinfo32.exe", FillIn(kSystemInfoParameters, workingFolder),
                                   u"open");
  if (platform.SystemProgramExists(SystemProgram::MsInfo32)) systemInfo.Run();

  systemInfo.WaitForExit();
  installedApps.WaitForExit();
  // Without WMIC (Windows 11 25H2, or 24H2 installed fresh, XP Home), or
  // where it ended without writing (a broken WMI repository), the list is
  // read from the registry instead.
  if (!wmic) {
    WriteInstalledAppsList(list);
  } else {
    const FileStamp after = StampOf(list);
    if (!after.present || after == before) WriteInstalledAppsList(list);
  }
  // Leaving the scope destroys systemInfo first, then installedApps.
}

}  // namespace velmora
