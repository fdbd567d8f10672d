// The readers, one per kind of file; the table of kinds names them.
#pragma once

#include <memory>
#include <string>

#include "reader.h"

namespace triage {

// Verbose Windows Installer logs and WiX bundle logs (told apart by their lines).
std::unique_ptr<Reader> MakeInstallerLogReader(const std::string& file);
// "setupapi.dev.log" (Vista and later) and XP's "setupapi.log".
std::unique_ptr<Reader> MakeSetupApiReader(const std::string& file);
// "installedapps.txt": WMIC's fixed-width table.
std::unique_ptr<Reader> MakeInstalledAppsReader(const std::string& file);
// "sysinfo.nfo": msinfo32's XML report, read as a stream.
std::unique_ptr<Reader> MakeSystemInfoReader(const std::string& file);

}  // namespace triage
