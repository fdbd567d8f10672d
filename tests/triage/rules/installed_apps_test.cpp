// "installedapps.txt": columns cut at the header's offsets, Velmora products
// listed, two driver versions at once flagged.
#include <gtest/gtest.h>

#include "feed.h"
#include "readers.h"

namespace triage::test {
namespace {

constexpr char kTwoDrivers[] = "installedapps-two-drivers/installedapps.txt";

Report TriageText(std::string_view text) {
  Report report;
  auto reader = MakeInstalledAppsReader("installedapps.txt");
  FeedText(*reader, text, report);
  return report;
}

TEST(InstalledApps, EveryVelmoraProductWithItsVersionCutByCharacters) {
  Report report;
  auto reader = MakeInstalledAppsReader("installedapps.txt");
  FeedFixture(*reader, kTwoDrivers, report);
  const auto products = WithRule(report, "apps.velmora-product");
  ASSERT_EQ(products.size(), 4u);
  EXPECT_EQ(products[0]->message, "Installed: Velmora Drivers 2.0.0.");
  // Multi-byte letters before the version column: offsets count characters.
  EXPECT_EQ(
      products[1]->message,
      "Installed: Outil de données Velmora – édition réseau pour postes de travail Windows 1.4.2.");
  EXPECT_EQ(products[2]->message, "Installed: Velmora Control Center (no version listed).");
  EXPECT_EQ(products[3]->message, "Installed: Velmora Drivers 2.1.0.");
  EXPECT_EQ(FixtureLine(kTwoDrivers, products[3]->line).substr(0, 15), "Velmora Drivers");

  const Finding* twice = Only(report, "apps.duplicate-drivers");
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice->severity, Severity::Warning);
  EXPECT_EQ(twice->line, products[3]->line);
  EXPECT_TRUE(Has(twice->message, "2.0.0 and 2.1.0")) << twice->message;
  EXPECT_EQ(twice->context.size(), 2u);
  EXPECT_TRUE(WithRule(report, "apps.no-velmora").empty());
}

TEST(InstalledApps, OneDriverVersionOrNoneOrNoTable) {
  const Report once = TriageText(
      "Name                 Version  \n"
      "Velmora Drivers      2.1.0    \n"
      "Velmora Drivers      2.1.0    \n");  // the same version listed twice is no conflict
  EXPECT_TRUE(WithRule(once, "apps.duplicate-drivers").empty());

  const Report none = TriageText(
      "Name                 Version  \n"
      "7-Zip 23.01          23.01    \n");
  const Finding* missing = Only(none, "apps.no-velmora");
  ASSERT_NE(missing, nullptr);
  EXPECT_TRUE(Has(missing->message, "1 products listed"));

  EXPECT_NE(Only(TriageText("\n\n"), "apps.empty"), nullptr);
  const Report message = TriageText("\nNo Instance(s) Available.\nVelmora Drivers 2.1.0\n");
  const Finding* unreadable = Only(message, "apps.unreadable");
  ASSERT_NE(unreadable, nullptr);
  EXPECT_EQ(unreadable->line, 2u);
  EXPECT_TRUE(WithRule(message, "apps.velmora-product").empty());
}

}  // namespace
}  // namespace triage::test
