// Codes and quotes as findings show them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace triage {

// "0xE0000219": how device-setup logs and HRESULTs are written.
std::string HexCode(int64_t code);

// A code as people look it up: decimal for Windows Installer codes, hex
// for HRESULTs and SetupAPI's 0xE... codes.
std::string CodeText(int64_t code);

// The text of a line with the log's own prefix ("MSI (s) (..) [..]: ") left
// off, cut for quoting in a message.
std::string_view QuoteText(std::string_view line);

}  // namespace triage
