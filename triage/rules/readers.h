// The rules: one reader per kind of file, and the checks over the whole
// folder once every file has been read.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace triage {

// Verbose Windows Installer logs and WiX bundle logs (the reader tells them
// apart by their lines).
std::unique_ptr<LineReader> MakeInstallerLogReader(std::string file);
// "setupapi.dev.log" (Vista and later) and XP's "setupapi.log".
std::unique_ptr<LineReader> MakeSetupApiReader(std::string file);
// "installedapps.txt": WMIC's fixed-width table.
std::unique_ptr<LineReader> MakeInstalledAppsReader(std::string file);
// "sysinfo.nfo": msinfo32's XML report, read as a stream.
std::unique_ptr<LineReader> MakeSystemInfoReader(std::string file);

// Once every file is read: info findings for the files a collection should
// hold but `present` (names within the folder) lacks.
void AddMissingFileFindings(const std::vector<std::string>& present, Report& report);
// Once every file is read: links installer and device-setup failures close
// in time, in their messages.
void LinkFailures(Report& report);

}  // namespace triage
