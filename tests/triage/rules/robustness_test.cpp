// Hostile input for every reader: junk, huge lines, NULs, fixtures cut
// anywhere. Findings or nothing, never a crash, and what is kept stays
// bounded; and the code tables and the catalogue the findings rest on.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "catalogue.h"
#include "codes.h"
#include "feed.h"
#include "pump.h"
#include "readers.h"
#include "text.h"

namespace triage::test {
namespace {

using Factory = std::unique_ptr<Reader> (*)(const std::string&);
constexpr Factory kReaders[] = {MakeInstallerLogReader, MakeSetupApiReader, MakeInstalledAppsReader,
                                MakeSystemInfoReader};

uint64_t Lines(std::string_view text) {
  return static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

void ExpectBounded(const FileResult& result, uint64_t lines) {
  for (const Finding& finding : result.findings) {
    EXPECT_LE(finding.line, lines) << finding.rule;
    EXPECT_LE(finding.context.size(), kContextBefore + 1 + kContextAfter + 4) << finding.rule;
    for (const EvidenceLine& line : finding.context) {
      EXPECT_LE(line.text.size(), kMaxKeptLine) << finding.rule;
    }
    EXPECT_LE(finding.message.size(), 4096u) << finding.rule;
    EXPECT_NO_THROW(RuleById(finding.rule));
  }
  for (const Attempt& attempt : result.attempts) {
    EXPECT_LE(attempt.line, lines);
    EXPECT_LE(attempt.product.size(), kMaxKeptLine);
  }
}

TEST(Robustness, JunkHugeAndNulLinesGiveBoundedFindings) {
  const std::string huge(3 << 20, 'x');
  std::string with_nul = "Action ended 10:00:00: A";
  with_nul += '\0';
  with_nul += ". Return value 3.";
  const std::vector<std::string> lines = {
      "\xff\xfe\x01garbage",
      "MSI (",
      "Action ended ",
      "Action ended 99:99:99: . Return value 99999999999999999999999.",
      "Action ended 10:00:00: X. Return value -3.",
      "Error " + huge,
      "Note: 1: " + huge,
      "MSI (s) (A4:B0) [10:00:00:000]: Product: " + huge + " -- Error 1603",
      "MSI (s) (A4:B0) [10:00:00:000]: a. b: " + huge + ". c: 1. d: e. f: 2.",
      "[" + huge,
      "[0A3C:0B20][2026-12-01T14:15:09]e000: Error 0x" + huge,
      "[0A3C:0B20][2026-99-99T99:15:09]i319: Applied execute package: " + huge,
      "[0A3C:0B20][2026-12-01T14:15:09]: Apply complete, result: 0x" + huge,
      ">>>  [" + huge,
      "!!!  " + huge + "velmora",
      "<<<  [Exit status: FAILURE(0x" + huge + ")]",
      "[2026/12/01 10:15:20" + huge + "]",
      "#E" + huge,
      with_nul,
      "Rollback: " + huge,
      "=== Verbose logging started: 99/99/99999  ===",
      "=== " + huge,
      "Property(S): ProductName = " + huge,
      "<" + huge,
  };
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  for (const Factory make : kReaders) {
    ExpectBounded(ReadText(*make("junk.log"), text), lines.size());
  }
}

TEST(Robustness, FixturesCutAnywhereNeverBreakAReader) {
  for (const char* fixture :
       {"msi-custom-action-1603/Velmora_Drivers_20261201_101500.log",
        "burn-package-0x80070643/Velmora_Drivers_20261201_141500.log",
        "setupapi-velmora-failed/setupapi.dev.log", "setupapi-xp/setupapi.log",
        "installedapps-two-drivers/installedapps.txt", "sysinfo-german/sysinfo.nfo"}) {
    const std::string text = Fixture(fixture);
    for (std::size_t cut = 0; cut < text.size(); cut += 97) {
      for (const Factory make : kReaders) {
        const std::string_view part = std::string_view(text).substr(0, cut);
        ExpectBounded(ReadText(*make("cut.log"), part), Lines(part));
      }
    }
  }
}

// A header's "01/12/2026" is read day first only on the word of the
// session's own property dump: a language id that follows no property line,
// or that nothing follows (a line appended to a log, or one a cut leaves
// last), moves no attempt in time.
TEST(Robustness, OnlyTheDumpsOwnLanguageIdRereadsTheDate) {
  const std::string french = Fixture("lang-fr-deferred-1603/Velmora_Drivers_20261201_142605.log");
  const std::string english = Fixture("lang-en-deferred-1603/Velmora_Drivers_20261201_142605.log");
  // The text up to and with the line that begins with `start`, and `extra`.
  const auto upto = [](const std::string& text, std::string_view start, int more,
                       std::string_view extra) {
    std::size_t at = text.find(std::string("\n") + std::string(start));
    EXPECT_NE(at, std::string::npos) << start;
    for (int i = 0; i <= more && at != std::string::npos; ++i) at = text.find('\n', at + 1);
    return text.substr(0, at == std::string::npos ? text.size() : at + 1) + std::string(extra);
  };
  const std::string stray = "Property(S): UserLanguageID = 1036\r\n";
  const int64_t december = *CivilSeconds(2026, 12, 1, 14, 26, 5);
  const int64_t january = *CivilSeconds(2026, 1, 12, 14, 26, 5);
  const struct {
    const char* what;
    std::string text;
    int64_t time;
  } cases[] = {
      {"French, whole", french, december},
      {"French, cut two lines after its language id",
       upto(french, "Property(S): UserLanguageID", 2, ""), december},
      {"French, cut just after its language id", upto(french, "Property(S): UserLanguageID", 0, ""),
       january},
      {"English, whole, a French id appended", english + stray, december},
      {"English, cut in its dump, a French id appended",
       upto(english, "Property(S): ProductVersion", 0, stray), december},
      {"English, cut at 'Property(', a French id appended",
       upto(english, "Property(S): ProductVersion", 0, "Property(\r\n" + stray), december},
  };
  for (const auto& one : cases) {
    const FileResult result = ReadText(*MakeInstallerLogReader("v.log"), one.text);
    ASSERT_EQ(result.attempts.size(), 1u) << one.what;
    EXPECT_EQ(result.attempts[0].time, one.time) << one.what;
  }
}

TEST(Robustness, CodesAndTheCatalogue) {
  // Logged return values to the codes msiexec returns.
  EXPECT_EQ(ReturnValueToCode(1), 0);
  EXPECT_EQ(ReturnValueToCode(2), 1602);
  EXPECT_EQ(ReturnValueToCode(3), 1603);
  EXPECT_EQ(ReturnValueToCode(8), 1618);
  EXPECT_FALSE(ReturnValueToCode(9).has_value());
  EXPECT_EQ(UnwrapHresult(0x80070643), 1603);
  EXPECT_EQ(UnwrapHresult(0x800704C7), 1223);
  EXPECT_EQ(UnwrapHresult(0), 0);
  EXPECT_EQ(UnwrapHresult(0x80004005), 0x80004005);  // not a wrapped Win32 code
  for (int64_t code :
       {1602, 1603, 1618, 1619, 1638, 1641, 3010, 1920, 1923, 1925, 2502, 2503, 2727}) {
    EXPECT_NE(FindInstallerCode(code), nullptr) << code;
  }
  for (int64_t code : {0xE0000203, 0xE0000219, 0xE0000228, 0xE000022F, 0xE0000242, 0xE0000243,
                       0xE0000247, 0xE0000248, 0xE000024B}) {
    EXPECT_NE(FindSetupApiCode(code), nullptr) << std::hex << code;
  }
  std::set<std::string> ids;
  for (const Rule& rule : Catalogue()) {
    EXPECT_TRUE(ids.insert(rule.id).second) << rule.id << " twice";
    EXPECT_TRUE(*rule.detects && *rule.remedy) << rule.id;
  }
  EXPECT_THROW(RuleById("no.such-rule"), std::logic_error);
}

}  // namespace
}  // namespace triage::test
