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
  // Action, custom action or property name; a status line's product name.
  std::string_view name;
  // A property's value; a Product line's message; a status line's product
  // version; a header's text.
  std::string_view value;
};

MsiLine ParseMsiLine(std::string_view text);

// A header's date and time, as the machine's locale wrote them.
struct HeaderDate {
  int64_t parts[3] = {0, 0, 0};  // the date's three numbers as written
  std::size_t widths[3] = {0, 0, 0};
  char separator = 0;
  std::optional<int64_t> clock;
};
// Nothing when the header holds no date.
std::optional<HeaderDate> ParseHeaderDate(std::string_view header);

// "H:MM:SS" or "HH:MM:SS" at the start of `text`, as seconds into the day;
// `used` is set to the characters it took.
std::optional<int64_t> ParseDayClock(std::string_view text, std::size_t* used = nullptr);

}  // namespace triage
