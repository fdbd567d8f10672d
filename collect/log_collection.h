// The four log-copy steps of a collection run: the newest MSI, WiX and
// rollback logs from the temporary folder, then the device-setup log from
// the Windows folder. Each step announces itself on the console first and
// copies at most one file into the working folder, under the file's own
// name, overwriting a copy left there by an earlier run.
#pragma once

#include "platform/text.h"

namespace velmora {

// Makes the file at `path` in the working folder writable if it is read-only,
// so that this run can replace what an earlier run left there.
void ClearReadOnly(const WString& path);

// Copies `source` over `destination` in the working folder and leaves the
// copy writable, so that a later run can replace it: a read-only copy from
// an earlier run is made writable first, and so is this copy.
void CopyIntoWorkingFolder(const WString& source, const WString& destination);

// The four steps in order. `workingFolder` ends with a backslash.
void CollectLogs(const WString& workingFolder);

// One installer-log step: copies the newest file matching `pattern` and not
// containing `exclusion`, if there is one. `name` and `path` are the result
// strings the steps of one run share.
void CopyNewestLog(const WString& workingFolder, const WString& pattern, const WString& exclusion,
                   WString& name, WString& path);

// The device-setup log that fits the system's layout: "INF\setupapi.dev.log"
// on the newer one, "setupapi.log" on the legacy one. Nothing is copied when
// the Windows folder cannot be found.
void CopySetupLog(const WString& workingFolder);

}  // namespace velmora
