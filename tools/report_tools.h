#pragma once

#include "platform/text.h"

namespace velmora {

// Has the installed-applications list and the system-information report
// written into `workingFolder` (a path ending with a backslash) by their
// programs, run side by side; returns once both have ended. The process's
// current folder is the Windows folder (or the system directory) from then
// on.
void RunReportTools(const WString& workingFolder);

}  // namespace velmora
