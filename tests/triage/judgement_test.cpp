// The summary, the queue and the CSV name one decision: the deciding
// finding's cause, never an attempt's own words for it.
#include <gtest/gtest.h>

#include <cstring>

#include "judgement.h"
#include "queue/overview.h"
#include "rules/catalogue.h"

namespace triage::test {
namespace {

struct Case {
  const char* about;
  const char* rule;        // the attempt's finding
  const char* cause;       // its cause in words, "" for none
  int64_t code;            // its code
  const char* reason;      // the attempt's own words, which never reach the summary
  const char* summarised;  // the summary's end
};

TEST(Judgement, TheSummaryNamesTheDecidingFindingsCause) {
  const Case cases[] = {
      {"a cause in words", "msi.failed-action",
       "the older version of Velmora Drivers could not be removed (1714)", 1714, "stale words",
       "in RemoveExistingProducts: the older version of Velmora Drivers could not be removed "
       "(1714)."},
      {"a code alone", "msi.outcome", "", 1603, "stale words",
       "in RemoveExistingProducts with error 1603."},
      {"a bundle package", "burn.package-failed", "a fatal error during installation (0x80070643)",
       0x80070643, "",
       "in RemoveExistingProducts: a fatal error during installation (0x80070643)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.about);
    FileAnswer file;
    file.name = "Velmora_Drivers_20261207_094900.log";
    Attempt attempt;
    attempt.time = 1796636940;  // 2026-12-07 09:49
    attempt.file = file.name;
    attempt.product = "Velmora Drivers";
    attempt.version = "2.1.0";
    attempt.operation = Operation::Install;
    attempt.outcome = Result::Failed;
    attempt.code = 1603;
    attempt.where = "RemoveExistingProducts";
    attempt.reason = c.reason;
    file.result.attempts.push_back(attempt);
    Finding finding = MakeFinding(c.rule, file.name, "the message", 19);
    finding.cause = c.cause;
    finding.code = c.code;
    finding.where = "RemoveExistingProducts";
    finding.attempt = 0;
    file.result.findings.push_back(finding);
    file.result.understood = true;

    std::vector<FileAnswer> files;
    files.push_back(std::move(file));
    const Outcome outcome = Judge("case", std::move(files), {}, 1);
    ASSERT_TRUE(outcome.deciding.has_value());
    const Finding& deciding = outcome.findings[*outcome.deciding];
    EXPECT_EQ(deciding.rule, c.rule);
    const std::string& summary = outcome.summary;
    EXPECT_EQ(summary.substr(summary.size() - std::strlen(c.summarised)), c.summarised) << summary;
    EXPECT_EQ(summary.find("stale words"), std::string::npos) << summary;
    // The queue's row names the same finding.
    const TicketFacts facts = FactsOf("ticket", outcome);
    EXPECT_EQ(facts.rule, c.rule);
    EXPECT_EQ(facts.code, c.code);
  }
}

}  // namespace
}  // namespace triage::test
