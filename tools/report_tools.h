#pragma once

#include "platform/text.h"

namespace velmora {

// Has the installed-applications list and the system-information report
// written into `workingFolder` (a path ending with a backslash) by their
// programs, run side by side; returns once both have ended. A program that
// is not there is not started; where WMIC is not there or wrote no list,
// the tool writes the list itself from the registry. The process's
// current folder is the Windows folder (or the system directory) from then
// on.
void RunReportTools(const WString& workingFolder);

}  // namespace velmora
