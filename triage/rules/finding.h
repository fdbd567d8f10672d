// Building findings: the common fields, and codes written the way the logs
// write them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace triage {

Finding MakeFinding(std::string_view rule, Severity severity, const std::string& file,
                    uint64_t line, std::vector<EvidenceLine> context = {});

// "0xE0000219": how device-setup logs and HRESULTs are written.
std::string HexCode(int64_t code);

// The text of a kept line with the log's own prefix ("MSI (s) (..) [..]: ")
// left off, for quoting in a message.
std::string_view QuoteText(std::string_view line);

}  // namespace triage
