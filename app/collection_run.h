#pragma once

namespace velmora {

// Prints the tool's banner.
void PrintBanner();

// The whole collection: working folder, logs, reports, then the folder is
// opened for the user. Its outcome shows only on the console and on disk.
void CollectDiagnostics();

// What the entry point does: the banner, then the run. Returns the exit
// status, which is always 0; memory running out part-way ends the run where
// it is, with nothing more printed.
int RunTool();

}  // namespace velmora
