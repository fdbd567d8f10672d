// The code and the named facts of one installer message line, so that the
// catalogue's remedy can name the file, service or action at fault.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "knowledge.h"

namespace triage {

struct MessageFacts {
  std::optional<int64_t> code;
  Facts facts;
};

// Reads, with or without the engine's "MSI (s) (C0:34) [10:49:14:456]: "
// prefix:
//  - "Note: 1: 1714 2: Merlin SIP 3: 1620" (any language): the fields by the
//    catalogue's note of the code;
//  - "Error 1714. The older version of ..." / "Product: X -- Error 1714. ..."
//    (a label in any language, then the number): the code; English text
//    also gives the facts of the catalogue's message patterns;
//  - "... The error code is 2203. The arguments are: a, b, c";
//  - "DEBUG: Error 2826: ...";
//  - "CustomAction X returned actual error code 1603 ...".
// A "System Error 1620" quoted inside a message is the fact "system_error",
// never the code.
MessageFacts ReadInstallerMessage(std::string_view line);

// "!!!  sto: ... Error = 0xE0000247", "(0x800b0109)", "Error 5: Access is
// denied." of a device-setup log: the code, and the INF, file, service and
// signer the line names.
MessageFacts ReadSetupApiLine(std::string_view line);

// "Error 0x80070643: Failed to install MSI package.", "Applied execute
// package: X, result: 0x80070643, ..." of a bundle log: the code and the
// package, and the log a "Package[...]" line names.
MessageFacts ReadBundleLine(std::string_view line);

}  // namespace triage
