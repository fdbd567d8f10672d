#include "overview.h"

#include <algorithm>
#include <cstdio>

#include "output/html_page.h"
#include "platform/text/hex.h"

namespace triage {
namespace {

std::string Percent(std::size_t part, std::size_t whole) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", whole == 0 ? 0.0 : 100.0 * part / whole);
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

std::string KeyText(const std::string& text) { return text.empty() ? "(none)" : text; }

struct Bar {
  std::string label;
  std::size_t total = 0;
  std::size_t failed = 0;  // drawn over the total, in the failure colour
};

// Horizontal bars drawn by the program: no script, no outside resource.
std::string Bars(const std::vector<Bar>& bars, const char* title) {
  constexpr int kLabel = 260, kWidth = 420, kRow = 22;
  std::size_t most = 1;
  for (const Bar& bar : bars) most = std::max(most, bar.total);
  const int height = static_cast<int>(bars.size()) * kRow + 4;
  std::string out = "<svg class=\"bars\" role=\"img\" width=\"" +
                    std::to_string(kLabel + kWidth + 80) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(kLabel + kWidth + 80) + " " +
                    std::to_string(height) + "\"><title>" + HtmlEscape(title) + "</title>";
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const Bar& bar = bars[i];
    const int y = static_cast<int>(i) * kRow + 2;
    const int total = static_cast<int>(kWidth * bar.total / most);
    const int failed = static_cast<int>(kWidth * bar.failed / most);
    std::string label = bar.label;
    if (label.size() > 40) label = label.substr(0, 37) + "...";
    out += "<text x=\"" + std::to_string(kLabel - 6) + "\" y=\"" + std::to_string(y + 15) +
           "\" text-anchor=\"end\">" + HtmlEscape(label) + "</text>";
    out += "<rect x=\"" + std::to_string(kLabel) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(std::max(total, 1)) + "\" height=\"18\" class=\"total\"/>";
    if (failed > 0) {
      out += "<rect x=\"" + std::to_string(kLabel) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             std::to_string(failed) + "\" height=\"18\" class=\"failed\"/>";
    }
    out += "<text x=\"" + std::to_string(kLabel + total + 6) + "\" y=\"" + std::to_string(y + 15) +
           "\">" + std::to_string(bar.total) + "</text>";
  }
  return out + "</svg>\n";
}

constexpr const char* kStyle = R"(
body { font: 15px/1.45 system-ui, "Segoe UI", sans-serif; margin: 0; color: #1d232b; background: #f4f5f7; }
main { max-width: 1150px; margin: 0 auto; padding: 24px; }
h1 { font-size: 22px; margin: 0 0 4px; } h2 { font-size: 17px; margin: 24px 0 8px; }
.source { color: #5b6573; margin: 0 0 16px; overflow-wrap: anywhere; }
table { border-collapse: collapse; background: #fff; font-size: 14px; }
th, td { text-align: left; padding: 4px 12px 4px 0; border-bottom: 1px solid #dde1e6; vertical-align: top; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
.where { font-family: ui-monospace, Consolas, monospace; overflow-wrap: anywhere; }
svg.bars { display: block; margin: 6px 0 10px; font-size: 12px; }
svg.bars rect.total { fill: #b8c2cc; } svg.bars rect.failed { fill: #b3261e; }
.none { font-style: italic; color: #5b6573; }
)";

}  // namespace

TicketFacts FactsOf(const std::string& ticket, const Outcome& outcome) {
  TicketFacts facts;
  facts.name = ticket;
  facts.verdict = VerdictName(outcome.verdict);
  if (outcome.product) {
    facts.product = outcome.product->name;
    facts.version = outcome.product->version;
  }
  if (outcome.system) {
    facts.windows = outcome.system->os_name;
    facts.windows_version = outcome.system->os_version;
  }
  if (outcome.deciding) {
    const Finding& finding = outcome.findings[*outcome.deciding];
    facts.rule = finding.rule;
    facts.code = finding.code;
    facts.where = finding.where;
  }
  return facts;
}

void Overview::Count(std::map<std::string, Spread>& spreads, const std::string& key, bool failed) {
  auto it = spreads.find(key);
  if (it == spreads.end()) {
    if (spreads.size() >= kMostKeys)
      it = spreads.try_emplace("(others)").first;
    else
      it = spreads.try_emplace(key).first;
  }
  ++it->second.tickets;
  if (failed) ++it->second.failed;
}

void Overview::Add(const TicketFacts& ticket) {
  ++tickets_;
  const bool failed = ticket.verdict == "failed";
  const int verdict = failed                           ? 0
                      : ticket.verdict == "succeeded"  ? 1
                      : ticket.verdict == "unreadable" ? 3
                                                       : 2;
  ++verdicts_[verdict];
  if (verdict == 3) return;
  Count(versions_, KeyText(ticket.version), failed);
  const std::string windows = ticket.windows.empty() || ticket.windows_version.empty()
                                  ? ticket.windows + ticket.windows_version
                                  : ticket.windows + " " + ticket.windows_version;
  Count(windows_, KeyText(windows), failed);
  if (!failed) return;
  ++failed_;
  const Key key{ticket.rule, ticket.code, ticket.where, ticket.version};
  auto it = signatures_.find(key);
  if (it == signatures_.end()) {
    if (signatures_.size() >= kMostKeys) {
      ++other_signatures_;
      return;
    }
    it = signatures_.try_emplace(key).first;
  }
  ++it->second.count;
  if (it->second.examples.size() < kExamples) {
    it->second.examples.emplace_back(ticket.name, ticket.page);
  }
}

namespace {

// A relative address, every byte but the unreserved ones and '/' as %XX: a
// page's name may hold '#', '?', '%' or anything else.
std::string UrlPath(std::string_view path) {
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out += c;
    } else {
      out += '%';
      velmora::text::AppendHexByte(byte, velmora::text::HexCase::Upper, out);
    }
  }
  return out;
}

}  // namespace

std::vector<std::pair<Overview::Key, const Overview::Tally*>> Overview::Top() const {
  std::vector<std::pair<Key, const Tally*>> top;
  for (const auto& [key, tally] : signatures_) top.emplace_back(key, &tally);
  // The commonest first; equal counts in the order of their keys.
  std::stable_sort(top.begin(), top.end(),
                   [](const auto& a, const auto& b) { return a.second->count > b.second->count; });
  if (top.size() > kTop) top.resize(kTop);
  return top;
}

std::string Overview::Table() const {
  std::string out = std::to_string(tickets_) + " tickets: " + std::to_string(verdicts_[0]) +
                    " failed, " + std::to_string(verdicts_[1]) + " succeeded, " +
                    std::to_string(verdicts_[2]) + " unknown, " + std::to_string(verdicts_[3]) +
                    " unreadable\n";
  const auto top = Top();
  if (top.empty()) return out;
  out += "\nTop failure signatures:\n";
  out += "  count  share  " + Padded("rule", 26) + Padded("code", 12) + Padded("version", 12) +
         "action or section\n";
  for (const auto& [key, tally] : top) {
    const auto& [rule, code, where, version] = key;
    char counts[32];
    std::snprintf(counts, sizeof counts, "%7zu %6s  ", tally->count,
                  Percent(tally->count, failed_).c_str());
    out += counts + Padded(KeyText(rule), 26) + Padded(code ? CodeText(*code) : "-", 12) +
           Padded(TerminalSafe(KeyText(version)), 12) + TerminalSafe(KeyText(where)) + "\n";
  }
  return out;
}

std::string Overview::Page(const std::string& source) const {
  std::string out =
      PageHead("Velmora support queue: " + std::to_string(tickets_) + " tickets", kStyle);
  out += "<h1>Velmora support queue</h1>\n<p class=\"source\">" + HtmlEscape(source) +
         " &middot; " + std::to_string(tickets_) + " tickets</p>\n";

  out += "<section id=\"verdicts\"><h2>Tickets by verdict</h2>\n";
  static const char* const kVerdicts[] = {"failed", "succeeded", "unknown", "unreadable"};
  std::vector<Bar> verdicts;
  for (int i = 0; i < 4; ++i) {
    verdicts.push_back({kVerdicts[i], verdicts_[i], i == 0 ? verdicts_[i] : 0});
  }
  out += Bars(verdicts, "Tickets by verdict") + "</section>\n";

  out += "<section id=\"signatures\"><h2>Top failure signatures</h2>\n";
  const auto top = Top();
  if (top.empty()) {
    out += "<p class=\"none\">No ticket failed.</p>\n";
  } else {
    std::vector<Bar> bars;
    out +=
        "<table>\n<tr><th>Count</th><th>Share of failures</th><th>Rule</th><th>Code</th>"
        "<th>Action or section</th><th>Version</th><th>Examples</th></tr>\n";
    for (const auto& [key, tally] : top) {
      const auto& [rule, code, where, version] = key;
      std::string examples;
      for (const auto& [name, page] : tally->examples) {
        if (!examples.empty()) examples += "<br>";
        examples += page.empty() ? HtmlEscape(name)
                                 : "<a href=\"" + UrlPath(page) + "\">" + HtmlEscape(name) + "</a>";
      }
      out += "<tr><td class=\"number\">" + std::to_string(tally->count) +
             "</td><td class=\"number\">" + Percent(tally->count, failed_) + "</td><td>" +
             HtmlEscape(KeyText(rule)) + "</td><td>" + (code ? CodeText(*code) : "-") +
             "</td><td class=\"where\">" + HtmlEscape(KeyText(where)) + "</td><td>" +
             HtmlEscape(KeyText(version)) + "</td><td>" + examples + "</td></tr>\n";
      bars.push_back({KeyText(where) + " " + KeyText(version), tally->count, tally->count});
    }
    out += "</table>\n";
    if (other_signatures_ > 0) {
      out += "<p>" + std::to_string(other_signatures_) +
             " more failures have signatures of their own, not counted apart.</p>\n";
    }
    out += Bars(bars, "Top failure signatures");
  }
  out += "</section>\n";

  const auto spread = [&](const std::map<std::string, Spread>& spreads, const char* id,
                          const char* title) {
    std::vector<std::pair<std::string, Spread>> rows(spreads.begin(), spreads.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return a.second.tickets > b.second.tickets;
    });
    if (rows.size() > kTop) rows.resize(kTop);
    std::string part = std::string("<section id=\"") + id + "\"><h2>" + title + "</h2>\n";
    std::vector<Bar> bars;
    part += "<table>\n<tr><th></th><th>Tickets</th><th>Failed</th><th>Share failed</th></tr>\n";
    for (const auto& [key, counts] : rows) {
      part += "<tr><td>" + HtmlEscape(key) + "</td><td class=\"number\">" +
              std::to_string(counts.tickets) + "</td><td class=\"number\">" +
              std::to_string(counts.failed) + "</td><td class=\"number\">" +
              Percent(counts.failed, counts.tickets) + "</td></tr>\n";
      bars.push_back({key, counts.tickets, counts.failed});
    }
    return part + "</table>\n" + Bars(bars, title) + "</section>\n";
  };
  out += spread(versions_, "versions", "By product version");
  out += spread(windows_, "windows", "By Windows version");
  return out + PageTail();
}

}  // namespace triage
