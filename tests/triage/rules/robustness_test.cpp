// Hostile input for every reader: junk, huge lines, NULs. Findings or
// nothing, never a crash, and what is kept stays bounded.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "feed.h"
#include "readers.h"
#include "text.h"

namespace triage::test {
namespace {

using Factory = std::function<std::unique_ptr<LineReader>(std::string)>;

const std::vector<std::pair<const char*, Factory>>& Readers() {
  static const std::vector<std::pair<const char*, Factory>> readers = {
      {"installer", MakeInstallerLogReader},
      {"setupapi", MakeSetupApiReader},
      {"apps", MakeInstalledAppsReader}};
  return readers;
}

void ExpectBounded(const Report& report, uint64_t lines) {
  for (const Finding& finding : report.findings) {
    EXPECT_LE(finding.line, lines) << finding.rule;
    EXPECT_LE(finding.context.size(), 10u) << finding.rule;
    for (const EvidenceLine& line : finding.context) {
      EXPECT_LE(line.text.size(), kMaxKeptLine) << finding.rule;
    }
    EXPECT_LE(finding.message.size(), 4096u) << finding.rule;
  }
}

TEST(Robustness, JunkHugeAndNulLinesGiveBoundedFindings) {
  const std::string huge(3 << 20, 'x');
  std::string with_nul = "Action ended 10:00:00: A";
  with_nul += '\0';
  with_nul += ". Return value 3.";
  const std::vector<std::string> lines = {
      "\xff\xfe\x00garbage",
      "MSI (",
      "Action ended ",
      "Action ended 99:99:99: . Return value 99999999999999999999999.",
      "Action ended 10:00:00: X. Return value -3.",
      "Error " + huge,
      "Note: 1: " + huge,
      "MSI (s) (A4:B0) [10:00:00:000]: Product: " + huge + " -- Error 1603",
      "[" + huge,
      "[0A3C:0B20][2026-12-01T14:15:09]e000: Error 0x" + huge,
      "[0A3C:0B20][2026-99-99T99:15:09]i319: Applied execute package: " + huge,
      ">>>  [" + huge,
      "!!!  " + huge + "velmora",
      "<<<  [Exit status: FAILURE(0x" + huge + ")]",
      "[2026/12/01 10:15:20" + huge + "]",
      "#E" + huge,
      with_nul,
      "Rollback: " + huge,
      "=== Verbose logging started: 99/99/99999  ===",
      "Property(S): ProductName = " + huge,
  };
  for (const auto& [name, make] : Readers()) {
    Report report;
    auto reader = make("junk.log");
    uint64_t number = 0;
    for (const std::string& line : lines) reader->Line(++number, line);
    reader->End(report);
    ExpectBounded(report, number);
    if (report.product) {
      EXPECT_LE(report.product->name.size(), kMaxKeptLine) << name;
    }
  }
}

TEST(Robustness, FixturesCutAtEveryLineNeverBreakAReader) {
  const std::vector<std::string> fixtures = {
      "msi-custom-action-1603/Velmora_Drivers_20261201_101500.log",
      "burn-package-0x80070643/Velmora_Drivers_20261201_141500.log",
      "setupapi-velmora-failed/setupapi.dev.log", "setupapi-xp/setupapi.log",
      "installedapps-two-drivers/installedapps.txt"};
  for (const std::string& fixture : fixtures) {
    const std::string text = ReadFixture(fixture);
    for (size_t cut = 0; cut < text.size(); cut += 97) {
      for (const auto& [name, make] : Readers()) {
        Report report;
        auto reader = make("cut.log");
        FeedText(*reader, std::string_view(text).substr(0, cut), report);
        ExpectBounded(report, static_cast<uint64_t>(cut) + 1);
      }
    }
  }
}

}  // namespace
}  // namespace triage::test
