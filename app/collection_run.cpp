#include "app/collection_run.h"

#include <new>

#include "collect/folder_locations.h"
#include "collect/log_collection.h"
#include "platform/platform.h"
#include "platform/win_constants.h"
#include "tools/report_tools.h"

namespace velmora {

void PrintBanner() {
  Platform& platform = CurrentPlatform();
  platform.PrintMessage(u"--- VELMORA KB TX5208 tool ---\n");
  platform.PrintMessage(
      u"This utility collects diagnostic information necessary for troubleshooting of Velmora "
      u"Drivers installation\n");
  platform.PrintMessage(
      u"\nWhen it is done, the folder 'Velmora Drivers Diagnostics' opens on your desktop: "
      u"zip it and send it to Velmora support.\n\n");
}

void CollectDiagnostics() {
  Platform& platform = CurrentPlatform();
  platform.PrintMessage(
      u"-- Creating working folder 'Velmora Drivers Diagnostics' on user's desktop\n");
  WString workingFolder;
  if (!GetWorkingFolder(workingFolder)) {
    platform.PrintMessage(u"-- ERROR: unable to create working folder\n");
    return;
  }
  CollectLogs(workingFolder);

  RunReportTools(workingFolder);
  platform.PrintMessage(u"-- Completed successfully\n");
  platform.ShellExecuteW(platform.GetActiveWindow(), u"open", workingFolder, u"", SW_SHOWNORMAL);
}

int RunTool() {
  // Strings are the only thing that can run out of memory; the user still
  // gets a normal exit, not the runtime's abnormal-termination message.
  try {
    PrintBanner();
    CollectDiagnostics();
  } catch (const std::bad_alloc&) {
  }
  return 0;
}

}  // namespace velmora
