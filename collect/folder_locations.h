// The three folders the tool works with: the working folder it creates on
// the desktop, the user's temporary folder holding the installer logs, and
// the Windows folder holding the device-setup log. Each is looked up into a
// 260-unit buffer that lives for the whole process.
#pragma once

#include "platform/text.h"

namespace velmora {

// The name of the folder created on the desktop.
extern const WChar kWorkingFolderName[];

// Creates the working folder on the desktop, or finds it already there, and
// sets `path` to its path followed by one backslash. False when the desktop
// cannot be found, the folder's path would not fit in 260 units, or neither
// a new nor an existing folder is at that path; `path` is then unchanged.
bool GetWorkingFolder(WString& path);

// The user's temporary folder ending in "\Temp\", or empty text when it
// cannot be found. A found folder is reused; a failed lookup is retried on
// the next call.
WString GetTempFolder();

// The Windows folder without a trailing backslash, or empty text when it
// cannot be found. Looked up until found once.
WString GetWindowsFolder();

// Empties the three buffers, as at process start. For tests.
void ResetFolderLocations();

}  // namespace velmora
