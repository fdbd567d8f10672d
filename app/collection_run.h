#pragma once

namespace velmora {

// Prints the tool's banner.
void PrintBanner();

// The whole collection: working folder, logs, reports, then the folder is
// opened for the user. Its outcome shows only on the console and on disk.
void CollectDiagnostics();

}  // namespace velmora
