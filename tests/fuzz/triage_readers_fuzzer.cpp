// The triage log readers on arbitrary bytes: the first byte picks the reader
// (installer log, device-setup log, applications list, system report, or
// the system report with its text repeated) and how the bytes are read, the
// rest is split into lines as the program splits decoded text. Whatever the input, the findings
// must stay well-formed and bounded.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "triage/input/byte_stream.h"
#include "triage/judgement.h"
#include "triage/pump.h"
#include "triage/rules/catalogue.h"
#include "triage/rules/readers.h"
#include "triage/rules/text.h"

namespace triage {
namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

void CheckFindings(const std::vector<Finding>& findings, uint64_t lines) {
  for (const Finding& finding : findings) {
    RuleById(finding.rule);  // throws, and so fails, for a rule the catalogue lacks
    Check(!finding.message.empty(), "a finding has a message");
    Check(!finding.remedy.empty(), "a finding has a remedy");
    Check(finding.line <= lines, "evidence within the file");
    Check(finding.context.size() <= kContextBefore + 1 + kContextAfter + 4,
          "context is a few lines");
    for (size_t i = 0; i < finding.context.size(); ++i) {
      Check(finding.context[i].text.size() <= kMaxKeptLine, "context lines are cut");
      Check(finding.context[i].number >= 1 && finding.context[i].number <= lines,
            "context lines within the file");
      if (i > 0) {
        Check(finding.context[i - 1].number < finding.context[i].number,
              "context in file order without repeats");
      }
    }
  }
}

}  // namespace
}  // namespace triage

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace triage;
  if (size == 0) return 0;
  const uint8_t selector = data[0] % 5;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  // The system report again, its text repeated up to a megabyte: deep and
  // wide documents far beyond the fuzzer's input length.
  std::string repeated;
  if (selector == 4 && !text.empty()) {
    const size_t times = 1 + static_cast<uint8_t>(text[0]) * 400;
    text.remove_prefix(1);
    for (size_t i = 0; i < times && repeated.size() + text.size() <= (1u << 20); ++i) {
      repeated += text;
    }
    text = repeated;
  }
  auto reader = selector == 0   ? MakeInstallerLogReader("Velmora_Drivers_fuzz.log")
                : selector == 1 ? MakeSetupApiReader("setupapi.dev.log")
                : selector == 2 ? MakeInstalledAppsReader("installedapps.txt")
                                : MakeSystemInfoReader("sysinfo.nfo");
  // Every line end of any kind counts at most one line.
  const uint64_t lines = 1 + static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n') +
                                                   std::count(text.begin(), text.end(), '\r'));
  // The rest of the first byte picks small windows (lines split across
  // many batches) and the reading thread from the first byte.
  const unsigned variant = data[0] / 5;
  MemoryInput input(text);
  BatchStore store(variant % 2 == 0 ? 61 : 1 << 16);
  Pumped pumped =
      Pump(input, *reader, "fuzz.log", 64 * 1024, store, variant % 4 < 2 ? 0 : kInlineBytes);
  CheckFindings(pumped.result.findings, lines);
  for (const Attempt& attempt : pumped.result.attempts) {
    Check(attempt.line <= lines, "an attempt's evidence within the file");
    Check(attempt.product.size() <= kMaxKeptLine, "product name is cut");
  }
  std::vector<FileAnswer> answers;
  answers.push_back(
      {"fuzz.log", static_cast<uint32_t>(pumped.hash), 0, std::nullopt, std::move(pumped.result)});
  const Outcome outcome = Judge("fuzz", std::move(answers), std::move(pumped.input), 1);
  CheckFindings(outcome.findings, lines);
  Check(!outcome.summary.empty(), "a summary");
  return 0;
}
