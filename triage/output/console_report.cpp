#include <string>

#include "outcome.h"
#include "platform/terminal.h"
#include "platform/text/ascii.h"

namespace triage {

namespace {

using velmora::terminal::Paint;

Paint Colour(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return Paint::Red;
    case Severity::Warning:
      return Paint::Yellow;
    case Severity::Info:
      return Paint::Cyan;
  }
  return Paint::Plain;
}

// "2026-05-15 16:34  install Velmora Drivers 5.3.0  failed (1603)  file:line"
std::string AttemptLine(const Attempt& attempt) {
  std::string line = attempt.time ? IsoTime(*attempt.time).replace(10, 1, " ").substr(0, 16)
                                  : std::string("(no time)       ");
  line += "  " + std::string(OperationName(attempt.operation));
  if (!attempt.product.empty()) line += " " + attempt.product;
  if (!attempt.version.empty()) line += " " + attempt.version;
  line += "  " + std::string(ResultName(attempt.outcome));
  if (attempt.code) line += " (" + CodeText(*attempt.code) + ")";
  line += "  " + attempt.file;
  if (attempt.line > 0) line += ":" + std::to_string(attempt.line);
  return line;
}

std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string ConsoleReport(const Outcome& outcome, std::vector<velmora::terminal::Painted>* paints) {
  std::size_t counts[3] = {0, 0, 0};
  for (const auto& finding : outcome.findings) ++counts[static_cast<int>(finding.severity)];

  std::string out;
  // Colours are marked beside the text, never in it: the terminal layer
  // draws them, and filters every byte of the text itself.
  auto paint = [&](Paint colour, const std::string& text) {
    if (paints != nullptr) paints->push_back({out.size(), out.size() + text.size(), colour});
    return text;
  };
  std::string verdict;
  Paint verdict_colour = Paint::Plain;
  switch (outcome.verdict) {
    case Verdict::Failed:
      verdict = "FAILED: the installation failed";
      verdict_colour = Paint::Red;
      break;
    case Verdict::Succeeded:
      verdict = "SUCCEEDED: the installation succeeded";
      verdict_colour = Paint::Green;
      break;
    case Verdict::Unknown:
      verdict = "UNKNOWN: no log states the installation's outcome";
      verdict_colour = Paint::Yellow;
      break;
  }
  out += "Verdict: ";
  out += paint(verdict_colour, verdict) + " (" + Count(counts[0], "error", "errors") + ", " +
         Count(counts[1], "warning", "warnings") + ", " + Count(counts[2], "note", "notes") + ")\n";
  out += "Summary: " + TerminalSafe(outcome.summary) + "\n";
  out += "Read: " + TerminalSafe(outcome.source) + " (" +
         Count(outcome.files_read, "file", "files") + ")\n";
  if (outcome.product) {
    out += "Product: " + TerminalSafe(outcome.product->name) + " " +
           TerminalSafe(outcome.product->version) + "\n";
  }
  if (outcome.system) {
    const auto& s = *outcome.system;
    std::string line;
    for (const std::string* part : {&s.os_name, &s.os_version, &s.system_type, &s.model}) {
      if (part->empty()) continue;
      if (!line.empty()) line += ", ";
      line += *part;
    }
    out += "System: " + TerminalSafe(line) + "\n";
  }
  if (!outcome.attempts.empty()) out += "Attempts, oldest first:\n";
  for (const Attempt& attempt : outcome.attempts)
    out += "  " + TerminalSafe(AttemptLine(attempt)) + "\n";
  for (const auto& finding : outcome.findings) {
    std::string severity = velmora::text::UpperAscii(SeverityName(finding.severity));
    severity.resize(7, ' ');
    std::string where = finding.file.empty() ? "-" : finding.file;
    if (finding.line > 0) where += ":" + std::to_string(finding.line);
    std::string tag = finding.rule;
    if (finding.code) tag += ", code " + CodeText(*finding.code);
    out += "\n";
    out += paint(Colour(finding.severity), severity) + " " + TerminalSafe(where) + "  [" +
           TerminalSafe(tag) + "]\n";
    out += "        " + TerminalSafe(finding.message) + "\n";
    if (!finding.remedy.empty())
      out += "        What to do: " + TerminalSafe(finding.remedy) + "\n";
  }
  return out;
}

}  // namespace triage
