#pragma once

#include "platform/text.h"

namespace velmora {

// Has the installed-applications list and the system-information report
// written into `workingFolder` (a path ending with a backslash) by their
// programs, run side by side; returns once both have ended.
void RunReportTools(const WString& workingFolder);

}  // namespace velmora
