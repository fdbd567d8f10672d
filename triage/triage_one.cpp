// One collected folder, zip or log: the report on standard output first,
// then the page where asked.
#include <filesystem>

#include "commands.h"
#include "outcome.h"
#include "output/html_page.h"
#include "output/page_place.h"
#include "platform/output_file.h"
#include "platform/terminal.h"
#include "triage_run.h"

namespace triage {

namespace {

namespace fs = std::filesystem;

// A new page in the temporary folder, named after what it reads.
fs::path TemporaryPage(const std::string& input) {
  std::string name;
  for (const char c : fs::u8path(input).filename().u8string()) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    name += plain ? c : '-';
    if (name.size() >= 60) break;
  }
  std::error_code ec;
  const fs::path folder = fs::temp_directory_path(ec);
  for (int n = 1;; ++n) {
    const fs::path page =
        folder / fs::u8path("velmora-triage-" + name + "-" + std::to_string(n) + ".html");
    if (!fs::exists(page, ec) || n >= 1000) return page;
  }
}

}  // namespace

bool ShowAlone(const std::string& page_text) {
  std::string error;
  const fs::path page = TemporaryPage("velmora-triage");
  return velmora::files::WriteReplacing(page, page_text, error) &&
         velmora::terminal::OpenWithShell(page);
}

int TriageOne(const Options& given) {
  Options options = given;
  // Started from Explorer, a file dropped onto it: its console closes as
  // it ends, so the answer goes to a page the browser opens.
  const bool alone = velmora::terminal::StartedAlone() && !options.json && !options.html;
  if (alone) options.html = TemporaryPage(options.path).u8string();
  const std::filesystem::path path = std::filesystem::u8path(options.path);
  std::filesystem::path page;
  if (options.html) {
    page = std::filesystem::u8path(*options.html);
    const std::string refusal = PageRefusal(path, page);
    if (!refusal.empty()) {
      Say("will not write the page to " + *options.html + ": " + refusal +
          " (PATH is never written)");
      return kUnreadable;
    }
  }
  Outcome outcome;
  std::string error;
  if (!Triage(path, options.path, RunLimits{}, outcome, error)) {
    Say("cannot read " + options.path + ": " + error);
    if (alone)
      ShowAlone(MessagePage("velmora-triage", "cannot read " + options.path + ": " + error));
    return kUnreadable;
  }
  // The report first, whatever happens to the page; not into a window that
  // closes as the program ends.
  std::vector<velmora::terminal::Painted> paints;
  const bool printed =
      alone || velmora::terminal::WriteStdout(
                   options.json ? JsonReport(outcome) : ConsoleReport(outcome, &paints), paints);
  bool page_written = true;
  if (options.html) {
    page_written = velmora::files::WriteReplacing(page, HtmlReport(outcome), error);
    if (!page_written) Say("cannot write the page to " + *options.html + ": " + error);
  }
  if (alone && page_written && !velmora::terminal::OpenWithShell(page)) {
    Say("cannot open the page " + *options.html);
  }
  if (!printed) {
    Say("standard output could not be written");
    return kStdoutNotWritten;
  }
  if (!page_written) return kFileNotWritten;
  return ErrorFound(outcome) ? kErrorFound : kNoError;
}

}  // namespace triage
