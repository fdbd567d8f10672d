// Device-setup logs of both layouts: failed sections, their evidence and
// codes, and the Velmora driver's sections first.
#include <gtest/gtest.h>

#include "feed.h"
#include "readers.h"
#include "text.h"

namespace triage::test {
namespace {

Report Triage(const std::string& fixture) {
  Report report;
  auto reader = MakeSetupApiReader("setupapi.dev.log");
  FeedFixture(*reader, fixture, report);
  return report;
}

Report TriageText(std::string_view text) {
  Report report;
  auto reader = MakeSetupApiReader("setupapi.dev.log");
  FeedText(*reader, text, report);
  return report;
}

constexpr char kDevLog[] = "setupapi-velmora-failed/setupapi.dev.log";
constexpr char kXpLog[] = "setupapi-xp/setupapi.log";

TEST(DeviceSetupLog, FailedSectionsVelmoraFirstWithTheirEvidenceAndExitCodes) {
  const Report report = Triage(kDevLog);
  const auto failed = WithRule(report, "setupapi.section-failed");
  // The third section succeeded despite a warning line.
  ASSERT_EQ(failed.size(), 2u);

  const Finding& velmora = *failed[0];
  EXPECT_EQ(velmora.severity, Severity::Error);
  EXPECT_EQ(velmora.code, 0xE000024B);
  // The evidence is the first "!!!" line, not the exit status.
  EXPECT_TRUE(Has(FixtureLine(kDevLog, velmora.line), "!!!  sto:      Catalog does not contain"));
  EXPECT_TRUE(Has(velmora.message, "Velmora driver")) << velmora.message;
  EXPECT_TRUE(Has(velmora.message, "hash is not in the driver's catalog")) << velmora.message;
  EXPECT_TRUE(Has(velmora.message, "(followed by 1 more error line)")) << velmora.message;
  EXPECT_TRUE(Has(velmora.message, "from the driver store")) << velmora.message;
  EXPECT_TRUE(Has(velmora.message, "logged 1 warning line.")) << velmora.message;
  EXPECT_EQ(velmora.time, CivilSeconds(2026, 12, 1, 10, 15, 3));
  EXPECT_EQ(velmora.context.back().number, velmora.line);

  // A failed section without "!!!" lines: its exit status is the evidence.
  const Finding& other = *failed[1];
  EXPECT_EQ(other.code, 0xE0000228);
  EXPECT_TRUE(Has(FixtureLine(kDevLog, other.line), "<<<  [Exit status: FAILURE(0xe0000228)]"));
  EXPECT_FALSE(Has(other.message, "Velmora"));
  EXPECT_TRUE(Has(other.message, "no compatible driver")) << other.message;
  EXPECT_LT(other.line, velmora.line);  // earlier in the file, yet listed after
}

TEST(DeviceSetupLog, XpMessageLinesVelmoraFirstWithTheCodeTheyName) {
  const Report report = Triage(kXpLog);
  const auto failed = WithRule(report, "setupapi.xp-error");
  ASSERT_EQ(failed.size(), 2u);  // the last section logged no "#E" line
  // Evidence: the first "#E" line; code: the last one named, how the
  // section ended (the unsigned INF was let through by policy).
  EXPECT_TRUE(Has(FixtureLine(kXpLog, failed[0]->line), "#E360"));
  EXPECT_EQ(failed[0]->code, 0xE0000219);
  EXPECT_TRUE(Has(failed[0]->message, "Velmora driver")) << failed[0]->message;
  EXPECT_TRUE(Has(failed[0]->message, "names no service")) << failed[0]->message;
  EXPECT_EQ(failed[0]->time, CivilSeconds(2026, 12, 1, 10, 15, 20));
  EXPECT_TRUE(Has(FixtureLine(kXpLog, failed[1]->line), "#E279"));
  EXPECT_EQ(failed[1]->code, 0xE0000228);
}

TEST(DeviceSetupLog, UnbalancedSectionsAreClosedByTheNextOrTheEnd) {
  const Report report = TriageText(
      "<<<  [Exit status: FAILURE(0xe0000203)]\n"  // an end without a start
      ">>>  [Device Install - ROOT\\VELMORA\\0000]\n"
      "!!!  dvi: Install failed.\n"  // no end: the next start closes it
      ">>>  [Device Install - ROOT\\OTHER\\0000]\n"
      "     dvi: nothing wrong here\n"
      ">>>  [SetupCopyOEMInf - vldrv.inf]\n"
      "!!!  sto: Failed to import.\n");  // cut short
  const auto failed = WithRule(report, "setupapi.section-failed");
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0]->line, 3u);
  EXPECT_EQ(failed[1]->line, 7u);
  EXPECT_TRUE(Has(failed[1]->message, "Velmora driver"));  // named by its INF
  EXPECT_TRUE(Has(failed[1]->message, "no end"));
  EXPECT_FALSE(failed[0]->code.has_value());
}

TEST(DeviceSetupLog, ManyFailuresAreCountedNotListed) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    text += ">>>  [Device Install - ROOT\\X\\" + std::to_string(i) + "]\n";
    text += "<<<  [Exit status: FAILURE(0xe0000228)]\n";
  }
  const Report report = TriageText(text);
  EXPECT_EQ(WithRule(report, "setupapi.section-failed").size(), 32u);
  const Finding* more = Only(report, "setupapi.more-failures");
  ASSERT_NE(more, nullptr);
  EXPECT_TRUE(Has(more->message, "8 more"));
}

}  // namespace
}  // namespace triage::test
