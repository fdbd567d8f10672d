// One triage: every file of the collection through the reader of its kind,
// then the checks over the whole folder, the verdict and the order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "input/line_batches.h"
#include "input/zip_archive.h"
#include "outcome.h"

namespace triage {

struct RunLimits {
  // Files read at most; a folder of thousands is listed, not read whole.
  std::size_t max_files = 200;
  std::size_t max_line_bytes = 64 * 1024;
  ZipLimits zip;
  // A large file is read and decoded on a second thread while its reader
  // works; a queue that already keeps every core busy says no.
  bool read_ahead = true;
  // Bytes read and decoded at a time.
  std::size_t window = BatchStore::kWindow;
  // PATH itself may be a link; a queue's tickets may not.
  bool follow_link = true;
};

class Collection;

// Every file of an opened collection, judged.
Outcome TriageCollection(Collection& collection, const std::string& shown_as,
                         const RunLimits& limits);

// False, with a one-line `error`, when PATH cannot be read at all.
bool Triage(const std::filesystem::path& path, const std::string& shown_as, const RunLimits& limits,
            Outcome& outcome, std::string& error);

}  // namespace triage
