// velmora-triage PATH [--json] [--html FILE]: what went wrong, from a
// collected folder, its zip, or one log; --rules: every rule it knows.
#include <filesystem>

#include "options.h"
#include "output/page_place.h"
#include "platform/output_file.h"
#include "platform/terminal.h"
#include "rules/catalogue.h"
#include "triage_run.h"

namespace {

constexpr int kNoError = 0;
constexpr int kErrorFound = 1;
constexpr int kUnreadable = 2;
constexpr int kPageNotWritten = 3;
constexpr int kStdoutNotWritten = 4;

// One line on standard error. Its text may hold PATH, FILE, an option or
// names from the input: it goes through the console's filter whole.
void Say(const std::string& line) {
  velmora::terminal::WriteStderr("velmora-triage: " + triage::TerminalSafe(line) + "\n");
}

int Fail(const std::string& reason) {
  Say(reason);
  return kUnreadable;
}

int Run(const std::vector<std::string>& args) {
  triage::Options options;
  std::string error;
  if (!triage::ParseOptions(args, options, error)) {
    Say(error);
    velmora::terminal::WriteStderr(triage::kUsage);
    return kUnreadable;
  }
  if (options.help || options.rules) {
    if (!velmora::terminal::WriteStdout(options.help ? triage::kUsage : triage::CatalogueText())) {
      Say("standard output could not be written");
      return kStdoutNotWritten;
    }
    return kNoError;
  }
  const std::filesystem::path path = std::filesystem::u8path(options.path);
  std::filesystem::path page;
  if (options.html) {
    page = std::filesystem::u8path(*options.html);
    std::string refusal = triage::PageRefusal(path, page);
    if (!refusal.empty()) {
      return Fail("will not write the page to " + *options.html + ": " + refusal +
                  " (PATH is never written)");
    }
  }
  triage::Outcome outcome;
  if (!triage::Triage(path, options.path, triage::RunLimits{}, outcome, error)) {
    return Fail("cannot read " + options.path + ": " + error);
  }
  // The report first, whatever happens to the page.
  const bool printed = velmora::terminal::WriteStdout(
      options.json ? triage::JsonReport(outcome)
                   : triage::ConsoleReport(outcome, velmora::terminal::ColoursOnStdout()));
  bool page_written = true;
  if (options.html) {
    page_written = velmora::files::WriteReplacing(page, triage::HtmlReport(outcome), error);
    if (!page_written) Say("cannot write the page to " + *options.html + ": " + error);
  }
  if (!printed) {
    Say("standard output could not be written");
    return kStdoutNotWritten;
  }
  if (!page_written) return kPageNotWritten;
  return outcome.verdict == triage::Verdict::Failed ? kErrorFound : kNoError;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(velmora::terminal::Arguments(argc, argv));
  } catch (const std::exception& e) {
    return Fail(std::string("stopped: ") + e.what());
  }
}
