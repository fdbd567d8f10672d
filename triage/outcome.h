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

// Text safe to print on a terminal: control characters (C0, DEL, C1) from
// the logs become '?', so a log cannot drive the terminal.
std::string TerminalSafe(std::string_view text);
// Text safe inside HTML elements and quoted attributes.
std::string HtmlEscape(std::string_view text);

}  // namespace triage
