// Installer logs: Windows Installer's verbose logs, Wine's, and WiX bundle
// logs, each fixture aimed at one rule.
#include <gtest/gtest.h>

#include "codes.h"
#include "feed.h"
#include "readers.h"
#include "text.h"

namespace triage::test {
namespace {

struct Triaged {
  std::string fixture;
  Report report;
};

Triaged Triage(const std::string& fixture) {
  Triaged result{fixture, {}};
  auto reader = MakeInstallerLogReader("log");
  FeedFixture(*reader, fixture, result.report);
  return result;
}

Report TriageText(std::string_view text) {
  Report report;
  auto reader = MakeInstallerLogReader("log");
  FeedText(*reader, text, report);
  return report;
}

bool ContextHas(const Finding& finding, std::string_view part) {
  for (const EvidenceLine& line : finding.context) {
    if (Has(line.text, part)) return true;
  }
  return false;
}

constexpr char kCustomAction[] = "msi-custom-action-1603/Velmora_Drivers_20261201_101500.log";

TEST(InstallerLog, FailingCustomActionIsTheInnermostReturnValue3WithTheErrorsAboveIt) {
  const Triaged t = Triage(kCustomAction);
  const Finding* action = Only(t.report, "msi.failed-action");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->severity, Severity::Error);
  // The first "Return value 3" (InstallFinalize), not the enclosing INSTALL.
  EXPECT_TRUE(Has(FixtureLine(t.fixture, action->line), "InstallFinalize. Return value 3."));
  EXPECT_EQ(action->code, 1603);  // the custom action's own code
  EXPECT_TRUE(Has(action->message, "VL_InstallDriver")) << action->message;
  EXPECT_TRUE(Has(action->message, "Failed to find velmora.inf")) << action->message;
  // The cause lies above a run of rollback lines, beyond the last few lines.
  EXPECT_TRUE(ContextHas(*action, "returned actual error code 1603"));
  EXPECT_TRUE(ContextHas(*action, "Return value 3"));
  for (size_t i = 1; i < action->context.size(); ++i) {
    EXPECT_LT(action->context[i - 1].number, action->context[i].number);
  }
  EXPECT_EQ(action->context.back().number, action->line);
  EXPECT_EQ(action->time, CivilSeconds(2026, 12, 1, 10, 15, 4));
  EXPECT_FALSE(action->remedy.empty());
}

TEST(InstallerLog, OutcomeProductAndRollbackOfAFailedInstallation) {
  const Triaged t = Triage(kCustomAction);
  const Finding* outcome = Only(t.report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->severity, Severity::Error);
  EXPECT_EQ(outcome->code, 1603);
  EXPECT_TRUE(Has(FixtureLine(t.fixture, outcome->line), "success or error status: 1603"));
  EXPECT_TRUE(Has(outcome->message, "fatal error"));
  EXPECT_EQ(t.report.install_succeeded, false);
  ASSERT_TRUE(t.report.product.has_value());
  EXPECT_EQ(t.report.product->name, "Velmora Drivers");
  EXPECT_EQ(t.report.product->version, "2.1.0");
  const Finding* rollback = Only(t.report, "msi.rollback");
  ASSERT_NE(rollback, nullptr);
  EXPECT_TRUE(Has(FixtureLine(t.fixture, rollback->line), "Rollback: Installing the Velmora"));
  // Errors above the failing action are part of it, not findings of their own.
  EXPECT_TRUE(WithRule(t.report, "msi.error-message").empty());
}

TEST(InstallerLog, AnotherInstallationInProgressFromTheEngineReturn) {
  const Triaged t = Triage("msi-1618-in-progress/Velmora_Drivers_20261201_111500.log");
  const Finding* outcome = Only(t.report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->code, 1618);
  EXPECT_EQ(outcome->severity, Severity::Error);
  EXPECT_TRUE(Has(outcome->message, "another installation"));
  EXPECT_TRUE(Has(FixtureLine(t.fixture, outcome->line), "MainEngineThread is returning 1618"));
  const Finding* error = Only(t.report, "msi.error-message");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 1500);
  EXPECT_EQ(error->severity, Severity::Error);
  EXPECT_TRUE(WithRule(t.report, "msi.failed-action").empty());
}

TEST(InstallerLog, RestartRequiredAndPendingOnASuccess) {
  const Triaged t = Triage("msi-3010-restart/Velmora_Drivers_20261201_121500.log");
  const Finding* outcome = Only(t.report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->code, 3010);
  EXPECT_EQ(outcome->severity, Severity::Info);
  EXPECT_EQ(t.report.install_succeeded, true);
  const Finding* restart = Only(t.report, "msi.restart-required");
  ASSERT_NE(restart, nullptr);
  EXPECT_EQ(restart->severity, Severity::Warning);
  const Finding* pending = Only(t.report, "msi.restart-pending");
  ASSERT_NE(pending, nullptr);
  EXPECT_TRUE(Has(FixtureLine(t.fixture, pending->line), "MsiSystemRebootPending = 1"));
  // "Info 1603" (a file in use) and a note of a missing registry key are no
  // failures.
  EXPECT_TRUE(WithRule(t.report, "msi.failed-action").empty());
  EXPECT_TRUE(WithRule(t.report, "msi.error-message").empty());
}

TEST(InstallerLog, ServiceThatFailsToStartGivesItsOwnCode) {
  const Triaged t = Triage("msi-1920-service/Velmora_Drivers_20261201_131500.log");
  const Finding* action = Only(t.report, "msi.failed-action");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->code, 1920);
  EXPECT_TRUE(Has(action->message, "a service failed to start")) << action->message;
  EXPECT_TRUE(Has(action->message, "VelmoraSvc")) << action->message;
  EXPECT_TRUE(Has(action->remedy, "services"));
  const Finding* outcome = Only(t.report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->code, 1603);
}

TEST(InstallerLog, WineLogsAFailedActionAsReturnValue0WithoutAFinalStatus) {
  const Triaged t = Triage("wine-failed-action/vl_20261201_151500_VelmoraDrivers_msi_rollback.log");
  const Finding* action = Only(t.report, "msi.failed-action");
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(Has(FixtureLine(t.fixture, action->line), "InstallDriverService. Return value 0."));
  EXPECT_FALSE(action->code.has_value());  // Wine logs no code; none is made up
  EXPECT_TRUE(Has(action->message, "Wine")) << action->message;
  const Finding* outcome = Only(t.report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->severity, Severity::Error);
  EXPECT_FALSE(outcome->code.has_value());
  EXPECT_TRUE(Has(outcome->message, "without the installer's final status"));
  EXPECT_EQ(t.report.install_succeeded, false);
  // The undoing actions after the failure are a rollback, not a success.
  const Finding* rollback = Only(t.report, "msi.rollback");
  ASSERT_NE(rollback, nullptr);
  EXPECT_TRUE(Has(FixtureLine(t.fixture, rollback->line), "Action start 15:15:01: RemoveFiles."));
  ASSERT_TRUE(t.report.product.has_value());
  EXPECT_EQ(t.report.product->version, "5.3.0");
}

TEST(InstallerLog, ReturnValue0MeansNotRunInWindowsOwnLogs) {
  const Report report = TriageText(
      "MSI (s) (A4:B0) [10:00:00:000]: Doing action: INSTALL\n"
      "Action start 10:00:00: INSTALL.\n"
      "Action start 10:00:00: VL_Optional.\n"
      "Action ended 10:00:00: VL_Optional. Return value 0.\n"
      "Action ended 10:00:01: INSTALL. Return value 1.\n");
  EXPECT_TRUE(WithRule(report, "msi.failed-action").empty());
  const Finding* outcome = Only(report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->code, 0);
  EXPECT_EQ(report.install_succeeded, true);
}

TEST(InstallerLog, OutcomeWithoutFinalStatusIsTheLastTopLevelActionWithItsOwnLines) {
  // Each top-level action replaces the one before; a shorter line after a
  // longer one keeps none of the longer one's bytes.
  const std::string last = "Action ended 10:00:02: FileCost. Return value 1.";
  const Report report = TriageText(
      "Action start 10:00:00: CostInitializeWithAVeryLongNameForThisLogOnly.\n"
      "Action ended 10:00:01: CostInitializeWithAVeryLongNameForThisLogOnly. Return value 1.\n"
      "Action start 10:00:02: FileCost.\n" +
      last + "\n");
  const Finding* outcome = Only(report, "msi.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->line, 4u);
  EXPECT_TRUE(Has(outcome->message, "FileCost, ended with return value 1")) << outcome->message;
  ASSERT_EQ(outcome->context.size(), 4u);
  EXPECT_EQ(outcome->context[2].text, "Action start 10:00:02: FileCost.");
  EXPECT_EQ(outcome->context.back().number, 4u);
  EXPECT_EQ(outcome->context.back().text, last);
}

TEST(InstallerLog, LogsWithoutAnOutcomeOrWithErrorsTheInstallationSurvived) {
  const Report cut = TriageText(
      "=== Verbose logging started: 12/1/2026  10:15:00  Build type: SHIP UNICODE ===\n"
      "Action start 10:15:01: INSTALL.\n"
      "Action start 10:15:01: InstallFiles.\n");
  EXPECT_NE(Only(cut, "msi.no-outcome"), nullptr);
  EXPECT_FALSE(cut.install_succeeded.has_value());

  const Report ignored = TriageText(
      "MSI (s) (A4:B0) [10:00:00:000]: Doing action: INSTALL\n"
      "Error 1920. Service 'Velmora Service' (VelmoraSvc) failed to start.\n"
      "MSI (s) (A4:B0) : MainEngineThread is returning 0\n");  // an older engine's lines
  const Finding* error = Only(ignored, "msi.error-message");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->severity, Severity::Warning);
  EXPECT_EQ(error->code, 1920);
  EXPECT_EQ(error->line, 2u);
}

TEST(InstallerLog, TimesFollowTheHeaderDateAcrossMidnightAndLocales) {
  const Report us = TriageText(
      "=== Verbose logging started: 12/31/2026  23:59:50  Build type: SHIP UNICODE ===\n"
      "Action start 23:59:55: INSTALL.\n"
      "Action ended 00:00:05: INSTALL. Return value 3.\n");
  const Finding* action = Only(us, "msi.failed-action");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->time, CivilSeconds(2027, 1, 1, 0, 0, 5));

  const Report european = TriageText(
      "=== Verbose logging started: 01.12.2026  10:15:00  Build type: SHIP UNICODE ===\n"
      "Action ended 10:16:00: INSTALL. Return value 3.\n");
  action = Only(european, "msi.failed-action");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->time, CivilSeconds(2026, 12, 1, 10, 16, 0));
}

TEST(BundleLog, PackageResultAndErrorsTurnedBackIntoInstallerCodes) {
  const Triaged t = Triage("burn-package-0x80070643/Velmora_Drivers_20261201_141500.log");
  const Finding* package = Only(t.report, "burn.package-failed");
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(package->code, 1603);
  EXPECT_TRUE(Has(package->message, "VelmoraDrivers"));
  EXPECT_TRUE(Has(FixtureLine(t.fixture, package->line), "Applied execute package"));
  const Finding* error = Only(t.report, "burn.error");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 1603);
  EXPECT_TRUE(Has(FixtureLine(t.fixture, error->line), "Failed to install MSI package"));
  EXPECT_EQ(error->time, CivilSeconds(2026, 12, 1, 14, 15, 9));
  const Finding* outcome = Only(t.report, "burn.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->code, 1603);
  EXPECT_EQ(outcome->severity, Severity::Error);
  EXPECT_EQ(t.report.install_succeeded, false);
  ASSERT_TRUE(t.report.product.has_value());
  EXPECT_EQ(t.report.product->name, "Velmora Drivers");
  EXPECT_EQ(t.report.product->version, "2.1.0.0");
  // A bundle log is not taken for an empty Windows Installer log.
  EXPECT_TRUE(WithRule(t.report, "msi.no-outcome").empty());
  EXPECT_TRUE(WithRule(t.report, "installer.unrecognised").empty());
}

TEST(BundleLog, AnotherInstallInProgressAndARestart) {
  const Report busy = TriageText(
      "[0A3C:0B20][2026-12-01T14:15:09]e000: Error 0x80070652: Failed to install MSI package.\n"
      "[0A3C:0B20][2026-12-01T14:15:10]i399: Apply complete, result: 0x80070652, restart: None\n");
  const Finding* error = Only(busy, "burn.error");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 1618);
  const Report restart = TriageText(
      "[0A3C:0B20][2026-12-01T14:15:09]i319: Applied execute package: VelmoraDrivers, result: "
      "0x0, restart: Required\n"
      "[0A3C:0B20][2026-12-01T14:15:10]i007: Exit code: 0xbc2, restarted: No\n");
  EXPECT_TRUE(WithRule(restart, "burn.package-failed").empty());
  EXPECT_EQ(restart.install_succeeded, true);
  EXPECT_NE(Only(restart, "burn.restart-required"), nullptr);
  const Finding* outcome = Only(restart, "burn.outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->code, 3010);
}

TEST(InstallerCodes, DocumentedMappingsAndExplanations) {
  // Logged return values to the codes msiexec returns.
  EXPECT_EQ(ReturnValueToCode(1), 0);
  EXPECT_EQ(ReturnValueToCode(2), 1602);
  EXPECT_EQ(ReturnValueToCode(3), 1603);
  EXPECT_EQ(ReturnValueToCode(4), 1604);
  EXPECT_EQ(ReturnValueToCode(8), 1618);
  EXPECT_FALSE(ReturnValueToCode(9).has_value());
  EXPECT_EQ(UnwrapHresult(0x80070643), 1603);
  EXPECT_EQ(UnwrapHresult(0x800704C7), 1223);
  EXPECT_EQ(UnwrapHresult(0), 0);
  EXPECT_EQ(UnwrapHresult(0x80004005), 0x80004005);  // not a wrapped Win32 code
  for (int64_t code : {1602, 1603, 1618, 1619, 1638, 1641, 3010, 1920, 1923, 1925}) {
    EXPECT_NE(FindInstallerCode(code), nullptr) << code;
  }
  for (int64_t code : {0xE0000203, 0xE0000219, 0xE0000228, 0xE000022F, 0xE0000242, 0xE0000243,
                       0xE0000247, 0xE0000248, 0xE000024B}) {
    EXPECT_NE(FindSetupApiCode(code), nullptr) << std::hex << code;
  }
}

}  // namespace
}  // namespace triage::test
