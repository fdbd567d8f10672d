#include <string>

#include "html_page.h"
#include "outcome.h"
#include "platform/shown_text.h"

namespace triage {

using velmora::terminal::CharKind;
using velmora::terminal::CodeMark;
using velmora::terminal::FirstChar;
using velmora::terminal::ShownChar;

namespace {

constexpr const char* kStyle = R"(
body { font: 15px/1.45 system-ui, "Segoe UI", sans-serif; margin: 0; color: #1d232b; background: #f4f5f7; }
main { max-width: 1100px; margin: 0 auto; padding: 24px; }
h1 { font-size: 22px; margin: 0 0 4px; }
.source { color: #5b6573; margin: 0 0 16px; overflow-wrap: anywhere; }
.verdict { padding: 14px 18px; border-radius: 6px; font-size: 19px; font-weight: 600; color: #fff; }
.verdict.failed { background: #b3261e; } .verdict.succeeded { background: #1e7b34; }
.verdict.unknown { background: #8a6d00; }
.counts { font-weight: 400; font-size: 15px; margin-left: 8px; }
table.summary { border-collapse: collapse; margin: 16px 0; }
table.summary th { text-align: left; padding: 2px 16px 2px 0; color: #5b6573; font-weight: 500; }
.finding { background: #fff; border-left: 6px solid #888; border-radius: 4px; margin: 14px 0; padding: 10px 16px; box-shadow: 0 1px 2px rgba(0,0,0,.08); }
.finding.error { border-color: #b3261e; } .finding.warning { border-color: #c98a00; } .finding.info { border-color: #2f6db5; }
.finding h2 { font-size: 15px; margin: 0 0 6px; display: flex; flex-wrap: wrap; gap: 10px; align-items: baseline; }
.badge { text-transform: uppercase; font-size: 12px; padding: 1px 7px; border-radius: 3px; color: #fff; background: #888; }
.error .badge { background: #b3261e; } .warning .badge { background: #c98a00; } .info .badge { background: #2f6db5; }
.where { font-family: ui-monospace, Consolas, monospace; overflow-wrap: anywhere; }
.rule { color: #5b6573; font-weight: 400; }
.remedy { color: #1e4f8a; }
pre { background: #1d232b; color: #e6e6e6; padding: 8px 0; border-radius: 4px; overflow-x: auto; font-size: 13px; }
pre span { display: block; padding: 0 12px; white-space: pre; }
pre .number { display: inline; padding: 0 10px 0 0; color: #7d8794; }
pre .evidence { background: #5c1d1a; }
.none { font-style: italic; }
.sentence { font-size: 17px; margin: 14px 0 4px; }
table.attempts { border-collapse: collapse; margin: 8px 0 16px; font-size: 14px; }
table.attempts th, table.attempts td { text-align: left; padding: 3px 14px 3px 0; border-bottom: 1px solid #dde1e6; }
table.attempts tr.failed td, table.attempts tr.cancelled td { color: #8c1d18; }
)";

}  // namespace

std::string HtmlEscape(std::string_view text) {
  constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    const ShownChar c = FirstChar(text.substr(i));
    switch (c.kind) {
      case CharKind::Plain:
        switch (text[i]) {
          case '&':
            out += "&amp;";
            break;
          case '<':
            out += "&lt;";
            break;
          case '>':
            out += "&gt;";
            break;
          case '"':
            out += "&quot;";
            break;
          case '\'':
            out += "&#39;";
            break;
          default:
            out.append(text, i, c.size);
        }
        break;
      case CharKind::Control:
        if (text[i] == '\t' || text[i] == '\n' || text[i] == '\r') {
          out += text[i];
        } else {
          out += kReplacement;
        }
        break;
      case CharKind::Invalid:
        out += kReplacement;
        break;
      case CharKind::Format: {
        const std::string mark = CodeMark(c.code);  // "<U+...>"
        out += "&lt;" + mark.substr(1, mark.size() - 2) + "&gt;";
        break;
      }
    }
    i += c.size;
  }
  return out;
}

namespace {

// The attempts, oldest first, the newest marked.
std::string AttemptsTable(const std::vector<Attempt>& attempts) {
  if (attempts.empty()) return "";
  std::string out =
      "<table class=\"attempts\" id=\"attempts\">\n<tr><th>When</th><th>What</th>"
      "<th>Product</th><th>Outcome</th><th>Evidence</th></tr>\n";
  for (const Attempt& attempt : attempts) {
    std::string when = attempt.time ? IsoTime(*attempt.time) : "unknown";
    if (attempt.time) when[10] = ' ';
    std::string result = ResultName(attempt.outcome);
    if (attempt.code) result += " (" + CodeText(*attempt.code) + ")";
    std::string where = attempt.file;
    if (attempt.line > 0) where += ":" + std::to_string(attempt.line);
    out += "<tr class=\"" + std::string(ResultName(attempt.outcome)) + "\"><td>" +
           HtmlEscape(when) + "</td><td>" + OperationName(attempt.operation) + "</td><td>" +
           HtmlEscape(attempt.product + " " + attempt.version) + "</td><td>" + HtmlEscape(result) +
           "</td><td class=\"where\">" + HtmlEscape(where) + "</td></tr>\n";
  }
  return out + "</table>\n";
}

}  // namespace

std::string HtmlReport(const Outcome& outcome) {
  std::size_t counts[3] = {0, 0, 0};
  for (const auto& finding : outcome.findings) ++counts[static_cast<int>(finding.severity)];
  const std::string verdict = VerdictName(outcome.verdict);

  std::string out;
  out += PageHead("Triage: " + verdict, kStyle);
  out += "<h1>Velmora installation triage</h1>\n<p class=\"source\">" + HtmlEscape(outcome.source) +
         " &middot; " + std::to_string(outcome.files_read) + " file(s) read</p>\n";
  std::string headline = outcome.verdict == Verdict::Failed      ? "The installation failed"
                         : outcome.verdict == Verdict::Succeeded ? "The installation succeeded"
                                                                 : "Outcome unknown";
  out += "<div class=\"verdict " + verdict + "\" id=\"verdict\">" + headline +
         "<span class=\"counts\">" + std::to_string(counts[0]) + " error(s), " +
         std::to_string(counts[1]) + " warning(s), " + std::to_string(counts[2]) +
         " note(s)</span></div>\n";
  out += "<p class=\"sentence\" id=\"summary\">" + HtmlEscape(outcome.summary) + "</p>\n";

  out += "<table class=\"summary\">\n";
  out += "<tr><th>Product</th><td>" +
         (outcome.product ? HtmlEscape(outcome.product->name + " " + outcome.product->version)
                          : std::string("<span class=\"none\">not found</span>")) +
         "</td></tr>\n";
  if (outcome.system) {
    const auto& s = *outcome.system;
    out += "<tr><th>Windows</th><td>" + HtmlEscape(s.os_name + " " + s.os_version) + "</td></tr>\n";
    out += "<tr><th>System type</th><td>" + HtmlEscape(s.system_type) + "</td></tr>\n";
    out += "<tr><th>Model</th><td>" + HtmlEscape(s.model) + "</td></tr>\n";
  } else {
    out +=
        "<tr><th>Windows</th><td><span class=\"none\">no system-information "
        "report</span></td></tr>\n";
  }
  out += "</table>\n";
  out += AttemptsTable(outcome.attempts);

  for (const auto& finding : outcome.findings) {
    const std::string severity = SeverityName(finding.severity);
    std::string where = finding.file;
    if (finding.line > 0) where += ":" + std::to_string(finding.line);
    out += "<section class=\"finding " + severity + "\">\n<h2><span class=\"badge\">" + severity +
           "</span><span class=\"where\">" + HtmlEscape(where) + "</span><span class=\"rule\">" +
           HtmlEscape(finding.rule);
    if (finding.code) out += " &middot; code " + CodeText(*finding.code);
    out += "</span></h2>\n<p class=\"message\">" + HtmlEscape(finding.message) + "</p>\n";
    if (!finding.remedy.empty()) {
      out += "<p class=\"remedy\"><strong>What to do:</strong> " + HtmlEscape(finding.remedy) +
             "</p>\n";
    }
    if (!finding.context.empty()) {
      out += "<pre class=\"context\">";
      for (const auto& line : finding.context) {
        out += line.number == finding.line ? "<span class=\"evidence\">" : "<span>";
        out += "<span class=\"number\">" + std::to_string(line.number) + "</span>" +
               HtmlEscape(line.text) + "</span>";
      }
      out += "</pre>\n";
    }
    out += "</section>\n";
  }
  out += PageTail();
  return out;
}

}  // namespace triage
