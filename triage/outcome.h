// The result of one triage run, as every output shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model.h"

namespace triage {

enum class Verdict { Failed, Succeeded, Unknown };

struct Outcome {
  std::string source;  // PATH as given, for display
  Report report;       // findings ordered by severity
  Verdict verdict = Verdict::Unknown;
  std::size_t files_read = 0;
};

const char* VerdictName(Verdict verdict);     // "failed", "succeeded", "unknown"
const char* SeverityName(Severity severity);  // "error", "warning", "info"

// "failed" when any error was found; "succeeded" when an installer log says
// so and nothing failed; otherwise "unknown".
Verdict Decide(const Report& report);
// Errors first, then warnings, then the rest; each group keeps the order the
// rules gave it.
void OrderBySeverity(Report& report);

// The three outputs.
std::string ConsoleReport(const Outcome& outcome, bool colours);
std::string JsonReport(const Outcome& outcome);
std::string HtmlReport(const Outcome& outcome);

// A code as people look it up: decimal for Windows Installer codes, hex
// for HRESULTs and SetupAPI's 0xE... codes.
std::string CodeText(int64_t code);

// Every text from the input that the console shows, on standard output or
// standard error: control characters (C0, DEL, C1) and bytes that are not
// UTF-8 become '?', so no input can drive the terminal; characters that
// reorder or break the line show as "<U+202E>" (shown_text.h).
std::string TerminalSafe(std::string_view text);
// Text safe inside HTML elements and quoted attributes: controls (but tab
// and line ends) and bytes that are not UTF-8 become U+FFFD; characters that
// reorder or break the line show as "<U+202E>", as on the console.
std::string HtmlEscape(std::string_view text);

}  // namespace triage
