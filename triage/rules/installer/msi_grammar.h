// The lines of a verbose Windows Installer log (also as Wine's msiexec
// writes it), told by their shape rather than by English words: Windows
// translates the action lines, the "Product:" lines and the closing status
// line, but never the action names, the engine's own lines ("MSI (s) (94:D4)
// [23:46:23:247]: ...", "Note: 1: 2503", "MainEngineThread is returning
// 1603", "CustomAction X returned actual error code 1603"), the property
// dump or the numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace triage {

enum class MsiLineKind {
  Other,
  Header,          // "=== Verbose logging started: 12/1/2026  10:15:00 ..."
  ActionStart,     // "Action start 10:15:04: InstallFiles." (or the action's description line)
  ActionEnded,     // "Action ended 10:15:04: InstallFinalize. Return value 3."
  Property,        // "Property(S): ProductName = Velmora Drivers"
  ErrorMessage,    // "Error 1920. Service ... failed to start."
  CustomAction,    // "CustomAction VL_Install returned actual error code 1603 ..."
  Hresult,         // a custom action's own "Name:  Error 0x80070643: ..."
  Rollback,        // "Rollback: Installing the driver"
  Info1903,        // "Info 1903. ... files in use ... restart"
  Engine,          // an engine line the rules have no use for
  Note,            // engine "Note: 1: 2503 2: ..."
  ProductError,    // engine "Product: X -- Error 1722. ..."
  ProductMessage,  // engine "Product: X -- ..." (any other message; its last number)
  EngineReturn,    // engine "MainEngineThread is returning 1603"
  Status,          // engine "... the product. Product Name: X. ... status: 1603."
  RestartNeeded,   // engine "... requires a system restart. ... Type of System Restart: 1. ..."
};

struct MsiLine {
  MsiLineKind kind = MsiLineKind::Other;
  bool engine = false;            // written by Windows Installer's own engine
  bool server = false;            // by its server side, "MSI (s)", which runs the installation
  char origin = 0;                // a property's side: 'S' server, 'C' client, 'N' nested
  std::optional<int64_t> clock;   // the time of day it shows, in seconds
  std::optional<int64_t> number;  // return value, code, status
  std::string_view name;          // action, custom action or property name
  std::string_view value;         // property value; a Product line's message
  std::string_view product;       // status line: the product name field
  std::string_view version;       // status line: the product version field
  // Header: the date's three numbers as written and how they were written.
  int64_t date[3] = {0, 0, 0};
  std::size_t date_widths[3] = {0, 0, 0};
  char date_separator = 0;
};

MsiLine ParseMsiLine(std::string_view text);

// "H:MM:SS" or "HH:MM:SS" at the start of `text`, as seconds into the day;
// `used` is set to the characters it took.
std::optional<int64_t> ParseDayClock(std::string_view text, std::size_t* used = nullptr);

}  // namespace triage
