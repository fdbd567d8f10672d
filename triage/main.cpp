// velmora-triage PATH [--json] [--html FILE]: what went wrong, from a
// collected folder, its zip, or one log.
#include <filesystem>
#include <fstream>

#include "options.h"
#include "platform/terminal.h"
#include "triage_run.h"

namespace {

constexpr int kNoError = 0;
constexpr int kErrorFound = 1;
constexpr int kUnreadable = 2;

int Fail(const std::string& reason) {
  velmora::terminal::WriteStderr("velmora-triage: " + reason + "\n");
  return kUnreadable;
}

int Run(const std::vector<std::string>& args) {
  triage::Options options;
  std::string error;
  if (!triage::ParseOptions(args, options, error)) {
    velmora::terminal::WriteStderr("velmora-triage: " + error + "\n" + triage::kUsage);
    return kUnreadable;
  }
  if (options.help) {
    velmora::terminal::WriteStdout(triage::kUsage);
    return kNoError;
  }
  triage::Outcome outcome;
  if (!triage::Triage(std::filesystem::u8path(options.path), options.path, triage::RunLimits{},
                      outcome, error)) {
    return Fail("cannot read " + triage::TerminalSafe(options.path) + ": " + error);
  }
  if (options.html) {
    std::ofstream page(std::filesystem::u8path(*options.html), std::ios::binary | std::ios::trunc);
    page << triage::HtmlReport(outcome);
    page.close();
    if (!page) return Fail("cannot write " + triage::TerminalSafe(*options.html));
  }
  if (options.json) {
    velmora::terminal::WriteStdout(triage::JsonReport(outcome));
  } else {
    velmora::terminal::WriteStdout(
        triage::ConsoleReport(outcome, velmora::terminal::ColoursOnStdout()));
  }
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
