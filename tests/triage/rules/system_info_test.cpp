// "sysinfo.nfo": the summary read by structure and position, whatever
// language its names are in, and broken reports refused cleanly.
#include <gtest/gtest.h>

#include "feed.h"
#include "readers.h"

namespace triage::test {
namespace {

FileResult Read(std::string_view xml) {
  return ReadText(*MakeSystemInfoReader("sysinfo.nfo"), xml);
}

std::string Item(const std::string& name, const std::string& value) {
  return "<Data><Item><![CDATA[" + name + "]]></Item><Value><![CDATA[" + value +
         "]]></Value></Data>\n";
}

TEST(SystemInfo, TranslatedReportReadByStructure) {
  const std::string text = Fixture("sysinfo-german/sysinfo.nfo");
  const FileResult report = Read(text);
  ASSERT_TRUE(report.system.has_value());
  EXPECT_EQ(report.system->os_name, "Microsoft Windows 10 Pro");
  EXPECT_EQ(report.system->os_version, "10.0.19045 Build 19045");
  EXPECT_EQ(report.system->system_type, "x64-basierter PC");
  EXPECT_EQ(report.system->model, "OptiPlex 7090");
  const Finding* summary = Only(report, "sysinfo.summary");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->line, 10u);  // its value's line
}

TEST(SystemInfo, WindowsXpOrderWithoutTheOtherDescription) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n<MsInfo><Category name=\"System Summary\">\n" +
      Item("OS Name", "Microsoft Windows XP Professional") +
      Item("Version", "5.1.2600 Service Pack 3 Build 2600") +
      Item("OS Manufacturer", "Microsoft Corporation") + Item("System Name", "OLDBOX") +
      Item("System Manufacturer", "IBM") +
      // Plain text, not CDATA: its entities are decoded.
      "<Data><Item>System Model</Item><Value>ThinkPad T43 &amp; Dock &#233;&#x20AC;</Value>"
      "</Data>\n" +
      Item("System Type", "X86-based PC") + "</Category></MsInfo>\n";
  const FileResult report = Read(xml);
  ASSERT_TRUE(report.system.has_value());
  EXPECT_EQ(report.system->model, "ThinkPad T43 & Dock \u00E9\u20AC");
  EXPECT_EQ(report.system->system_type, "X86-based PC");
}

TEST(SystemInfo, BrokenReportsGiveAFindingAndNoSystem) {
  const std::string complete = Fixture("sysinfo-german/sysinfo.nfo");
  const std::string unclosed = "<a>" + std::string(100000, '<');
  const auto repeat = [](std::string_view part, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += part;
    return out;
  };
  // Closing-tag look-alikes inside values, instructions and comments.
  const std::string disguised =
      repeat("<a x='</></>'><?pi </></>?><!-- </> -->", 5000) + repeat("</a>", 5000);
  // Well-formed but far deeper than any report: refused, never recursed into.
  for (const std::string& xml : {repeat("<a>", 100000) + repeat("</a>", 100000), disguised}) {
    const FileResult report = Read(xml);
    const Finding* refused = Only(report, "sysinfo.unreadable");
    ASSERT_NE(refused, nullptr);
    EXPECT_TRUE(Has(refused->message, "nest too deeply")) << refused->message;
  }
  // A quote inside a name, an unknown declaration left open: either once hid
  // the depth of what followed, and the reader recursed until it crashed.
  const std::string levels = repeat("<a>\n", 100000);
  for (const std::string& xml :
       {complete.substr(0, complete.size() / 2), disguised, unclosed, "<a'>" + levels,
        "<!x[>" + levels, std::string("<MsInfo/>"), std::string("not xml at all"), std::string()}) {
    const FileResult report = Read(xml);
    EXPECT_FALSE(report.system.has_value()) << xml.substr(0, 40);
    EXPECT_NE(Only(report, "sysinfo.unreadable"), nullptr) << xml.substr(0, 40);
  }
}

TEST(SystemInfo, SummaryFollowedByAMillionElementsIsStillRead) {
  std::string xml = "<MsInfo><Category name=\"System Summary\">\n" +
                    Item("OS Name", "Microsoft Windows 11 Pro") + Item("Version", "10.0.22631") +
                    Item("OS Manufacturer", "Microsoft Corporation") + "<Category>";
  for (int i = 0; i < 1000000; ++i) xml += i % 16 == 15 ? "<a/>\n" : "<a/>";
  xml += "</Category></Category></MsInfo>\n";
  const FileResult report = Read(xml);
  ASSERT_TRUE(report.system.has_value());
  EXPECT_EQ(report.system->os_name, "Microsoft Windows 11 Pro");
  EXPECT_EQ(report.system->os_version, "10.0.22631");
}

}  // namespace
}  // namespace triage::test
