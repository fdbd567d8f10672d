// velmora-triage PATH [--json] [--html FILE]: what went wrong, from a
// collected folder, its zip, or one log; --queue DIR: every ticket of a
// support queue at once; --rules: every rule it knows.
#include "commands.h"
#include "outcome.h"
#include "output/html_page.h"
#include "platform/terminal.h"
#include "rules/catalogue.h"

namespace triage {

void Say(const std::string& line) {
  velmora::terminal::WriteStderr("velmora-triage: " + TerminalSafe(line) + "\n");
}

}  // namespace triage

namespace {

int Run(const std::vector<std::string>& args) {
  triage::Options options;
  std::string error;
  if (!triage::ParseOptions(args, options, error)) {
    triage::Say(error);
    velmora::terminal::WriteStderr(triage::kUsage);
    // Double-clicked with nothing dropped onto it: how to use it, readable.
    if (velmora::terminal::StartedAlone()) {
      triage::ShowAlone(triage::MessagePage(
          "velmora-triage",
          "Drop a collected folder, or the zip a customer sent, onto velmora-triage.exe.\n\n" +
              std::string(triage::kUsage)));
    }
    return triage::kUnreadable;
  }
  if (options.help || options.rules) {
    if (!velmora::terminal::WriteStdout(options.help ? triage::kUsage : triage::CatalogueText())) {
      triage::Say("standard output could not be written");
      return triage::kStdoutNotWritten;
    }
    return triage::kNoError;
  }
  return options.queue ? triage::TriageQueue(options) : triage::TriageOne(options);
}

}  // namespace

int main(int argc, char** argv) {
  velmora::terminal::KeepRunningWhenOutputCloses();
  try {
    return Run(velmora::terminal::Arguments(argc, argv));
  } catch (const std::exception& e) {
    triage::Say(std::string("stopped: ") + e.what());
    return triage::kUnreadable;
  }
}
