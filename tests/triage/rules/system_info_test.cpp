// "sysinfo.nfo": the summary read by structure and position, whatever
// language its names are in, and broken reports refused cleanly.
#include <gtest/gtest.h>

#include "feed.h"
#include "readers.h"

namespace triage::test {
namespace {

std::string Item(const std::string& name, const std::string& value) {
  return "<Data><Item><![CDATA[" + name + "]]></Item><Value><![CDATA[" + value +
         "]]></Value></Data>\n";
}

TEST(SystemInfo, TranslatedReportReadByStructure) {
  const std::string fixture = "sysinfo-german/sysinfo.nfo";
  Report report;
  ReadSystemInfo("sysinfo.nfo", ReadFixture(fixture), report);
  ASSERT_TRUE(report.system.has_value());
  EXPECT_EQ(report.system->os_name, "Microsoft Windows 10 Pro");
  EXPECT_EQ(report.system->os_version, "10.0.19045 Build 19045");
  EXPECT_EQ(report.system->system_type, "x64-basierter PC");
  EXPECT_EQ(report.system->model, "OptiPlex 7090");
  const Finding* summary = Only(report, "sysinfo.summary");
  ASSERT_NE(summary, nullptr);
  EXPECT_TRUE(Has(FixtureLine(fixture, summary->line), "Microsoft Windows 10 Pro"));
}

TEST(SystemInfo, WindowsXpOrderWithoutTheOtherDescription) {
  const std::string xml = "<?xml version=\"1.0\"?>\n<MsInfo><Category name=\"System Summary\">\n" +
                          Item("OS Name", "Microsoft Windows XP Professional") +
                          Item("Version", "5.1.2600 Service Pack 3 Build 2600") +
                          Item("OS Manufacturer", "Microsoft Corporation") +
                          Item("System Name", "OLDBOX") + Item("System Manufacturer", "IBM") +
                          // Plain text, not CDATA: its entity is decoded.
                          "<Data><Item>System Model</Item><Value>ThinkPad T43 &amp; Dock</Value>"
                          "</Data>\n" +
                          Item("System Type", "X86-based PC") + "</Category></MsInfo>\n";
  Report report;
  ReadSystemInfo("sysinfo.nfo", xml, report);
  ASSERT_TRUE(report.system.has_value());
  EXPECT_EQ(report.system->model, "ThinkPad T43 & Dock");
  EXPECT_EQ(report.system->system_type, "X86-based PC");
}

TEST(SystemInfo, BrokenReportsGiveAFindingAndNoSystem) {
  const std::string complete = ReadFixture("sysinfo-german/sysinfo.nfo");
  const std::string unclosed = "<a>" + std::string(100000, '<');
  std::string nested;
  std::string disguised;  // closing-tag look-alikes the parser reads as text
  for (int i = 0; i < 5000; ++i) {
    nested += "<a>";
    disguised += "<a x='</></>'><?pi </></>?><!-- </> -->";
  }
  for (int i = 0; i < 5000; ++i) disguised += "</a>";
  // Refused for its depth before the parser (which recurses) sees it.
  for (const std::string& xml : {nested, disguised}) {
    Report report;
    ReadSystemInfo("sysinfo.nfo", xml, report);
    const Finding* refused = Only(report, "sysinfo.unreadable");
    ASSERT_NE(refused, nullptr);
    EXPECT_TRUE(Has(refused->message, "nest too deeply")) << refused->message;
  }
  for (const std::string& xml :
       {complete.substr(0, complete.size() / 2), nested, disguised, unclosed,
        std::string("<MsInfo/>"), std::string("not xml at all"), std::string()}) {
    Report report;
    ReadSystemInfo("sysinfo.nfo", xml, report);
    EXPECT_FALSE(report.system.has_value()) << xml.substr(0, 40);
    EXPECT_NE(Only(report, "sysinfo.unreadable"), nullptr) << xml.substr(0, 40);
  }
}

}  // namespace
}  // namespace triage::test
