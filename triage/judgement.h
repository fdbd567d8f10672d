// One answer from every file's own result, as an engineer weighs a folder
// that mixes attempts from different days: the attempts in time order, the
// verdict of the newest one (a Velmora driver that failed after it began
// counts too), the failures of older attempts as history, the summary, and
// the checks over the whole folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model.h"
#include "outcome.h"

namespace triage {

// `notes`: findings about the input and the folder, kept as they are.
Outcome Judge(std::string source, std::vector<FileAnswer> files, std::vector<Finding> notes,
              std::size_t files_read);

}  // namespace triage
