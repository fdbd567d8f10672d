// The triage log readers on arbitrary bytes: the first byte picks the reader
// (installer log, device-setup log, applications list, system report, or
// the system report with its text repeated), the rest is split into lines as the program splits
// decoded text. Whatever the input, the findings must stay well-formed and bounded.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "triage/rules/readers.h"
#include "triage/rules/text.h"

namespace triage {
namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

void CheckReport(const Report& report, uint64_t lines) {
  for (const Finding& finding : report.findings) {
    Check(!finding.rule.empty(), "a finding has a rule id");
    Check(!finding.message.empty(), "a finding has a message");
    Check(!finding.remedy.empty(), "a finding has a remedy");
    Check(finding.line <= lines, "evidence within the file");
    Check(finding.context.size() <= 10, "context is a few lines");
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
  if (report.product) Check(report.product->name.size() <= kMaxKeptLine, "product name is cut");
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
  Report report;
  auto reader = selector == 0   ? MakeInstallerLogReader("Velmora_Drivers_fuzz.log")
                : selector == 1 ? MakeSetupApiReader("setupapi.dev.log")
                : selector == 2 ? MakeInstalledAppsReader("installedapps.txt")
                                : MakeSystemInfoReader("sysinfo.nfo");

  uint64_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    reader->Line(++number, line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  reader->End(report);
  // Both folder-wide checks run on whatever the reader found.
  AddMissingFileFindings({"setupapi.dev.log"}, report);
  LinkFailures(report);
  CheckReport(report, number);
  return 0;
}
