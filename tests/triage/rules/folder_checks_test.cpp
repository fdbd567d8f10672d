// The checks over the whole folder: files that should be there, and
// failures of the installer and of device setup linked by time.
#include <gtest/gtest.h>

#include "feed.h"
#include "readers.h"

namespace triage::test {
namespace {

TEST(FolderChecks, MissingFilesEachWithItsLikelyReason) {
  Report complete;
  AddMissingFileFindings({"Diag/VELMORA_DRIVERS_20261201_101500.LOG", "Diag\\installedapps.txt",
                          "sysinfo.nfo", "setupapi.log"},
                         complete);
  EXPECT_TRUE(complete.findings.empty());

  Report empty;
  AddMissingFileFindings({"notes.txt", "Velmora_Drivers.txt"}, empty);
  ASSERT_EQ(empty.findings.size(), 4u);
  for (const Finding& finding : empty.findings) EXPECT_EQ(finding.severity, Severity::Info);
  EXPECT_TRUE(Has(Only(empty, "folder.no-installer-log")->message, "without logging"));
  EXPECT_TRUE(Has(Only(empty, "folder.no-installed-apps")->message, "24H2"));
  EXPECT_NE(Only(empty, "folder.no-system-info"), nullptr);
  EXPECT_NE(Only(empty, "folder.no-setup-log"), nullptr);

  Report rollback_only;
  AddMissingFileFindings({"vl_20261201_VelmoraDrivers_msi_rollback.log"}, rollback_only);
  EXPECT_TRUE(WithRule(rollback_only, "folder.no-installer-log").empty());
}

TEST(FolderChecks, InstallerAndDeviceSetupFailuresCloseInTimeAreLinked) {
  Report report;
  auto installer = MakeInstallerLogReader("Velmora_Drivers_20261201_101500.log");
  FeedFixture(*installer, "msi-custom-action-1603/Velmora_Drivers_20261201_101500.log", report);
  auto setup = MakeSetupApiReader("setupapi.dev.log");
  FeedFixture(*setup, "setupapi-velmora-failed/setupapi.dev.log", report);
  LinkFailures(report);

  const Finding* action = Only(report, "msi.failed-action");
  ASSERT_NE(action, nullptr);
  const auto sections = WithRule(report, "setupapi.section-failed");
  ASSERT_EQ(sections.size(), 2u);
  const std::string velmora_at = "setupapi.dev.log:" + std::to_string(sections[0]->line);
  EXPECT_TRUE(Has(action->message, velmora_at)) << action->message;
  EXPECT_TRUE(Has(sections[0]->message, "Velmora_Drivers_20261201_101500.log:"))
      << sections[0]->message;
  // The other section failed 35 minutes earlier: no link.
  EXPECT_FALSE(Has(sections[1]->message, "installer failure")) << sections[1]->message;
  // Successes and notes are never linked.
  for (const Finding& finding : report.findings) {
    if (finding.severity != Severity::Error) {
      EXPECT_FALSE(Has(finding.message, "apart")) << finding.rule;
    }
  }
}

}  // namespace
}  // namespace triage::test
