// The result of one triage run, as every output shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model.h"
#include "platform/shown_text.h"
#include "platform/terminal.h"
#include "rules/finding.h"
#include "platform/text/dates.h"

namespace triage {

enum class Verdict { Failed, Succeeded, Unknown };

struct Outcome {
  std::string source;  // PATH as given, for display
  // The newest attempt's, counting a Velmora driver that failed after it began.
  Verdict verdict = Verdict::Unknown;
  std::string summary;            // one sentence of what happened
  std::vector<Attempt> attempts;  // oldest first
  std::optional<Product> product;
  std::optional<SystemSummary> system;
  std::vector<Finding> findings;  // errors first, then warnings, then notes
  // The finding that decides a failed verdict (its cause), by its place in
  // `findings`; the queue, the CSV and the summary name this one.
  std::optional<std::size_t> deciding;
  std::size_t files_read = 0;
};

// The exit rule of one triage: 1 when the report holds an error, else 0.
inline bool ErrorFound(const Outcome& outcome) {
  return !outcome.findings.empty() && outcome.findings.front().severity == Severity::Error;
}

const char* VerdictName(Verdict verdict);        // "failed", "succeeded", "unknown"
const char* SeverityName(Severity severity);     // "error", "warning", "info"
const char* OperationName(Operation operation);  // "install", "remove", ...
const char* ResultName(Result result);           // "succeeded", "failed", ...
// "2026-05-15T16:34:12": seconds since 1970 of local time, as ISO 8601.
using velmora::text::IsoTime;

// The three outputs.
// `paints`, when given, gets the stretches the terminal colours.
std::string ConsoleReport(const Outcome& outcome,
                          std::vector<velmora::terminal::Painted>* paints = nullptr);
std::string JsonReport(const Outcome& outcome);
// One ticket of a queue as one line: the JSON above with "ticket" first;
// a ticket that cannot be read as its name, verdict "unreadable" and why.
std::string JsonLine(const Outcome& outcome, std::string_view ticket);
std::string UnreadableJsonLine(std::string_view ticket, std::string_view reason);
std::string HtmlReport(const Outcome& outcome);

// Every text from the input that the console shows, on standard output or
// standard error: control characters (C0, DEL, C1) and bytes that are not
// UTF-8 become '?', so no input can drive the terminal; characters that
// reorder or break the line show as "<U+202E>" (platform/shown_text.h).
using velmora::terminal::TerminalSafe;
// Text safe inside HTML elements and quoted attributes: controls (but tab
// and line ends) and bytes that are not UTF-8 become U+FFFD; characters that
// reorder or break the line show as "<U+202E>", as on the console.
std::string HtmlEscape(std::string_view text);

}  // namespace triage
