#include "tools/report_tools.h"

#include <algorithm>

#include "app/collection_run.h"
#include "platform/win_constants.h"
#include "tools_fixture.h"

namespace velmora {
namespace {

const char kListLine[] = "-- Getting list of installed applications\n";
const char kInfoLine[] = "-- Getting system information. Please wait...\n";

class ReportToolsTest : public ToolsTest {
 protected:
  void Programs(std::uint32_t wmicMs, std::uint32_t msinfoMs) {
    fake.programRunTimesMs[u"wmic"] = wmicMs;
    fake.programRunTimesMs[u"msinfo32.exe"] = msinfoMs;
  }
};

TEST_F(ReportToolsTest, ParameterTextsAreTheFormatsWithThePathInsertedUnchanged) {
  Programs(10, 10);
  // Blanks, percent signs and a "%s" of its own: the path is text, never a
  // format.
  const WString folder = u"C:\\Users\\J\u00f6rg %s 100%\\Desk top\\Velmora Drivers Diagnostics\\";
  RunReportTools(folder);

  ASSERT_EQ(fake.started.size(), 2u);
  const ShellExecuteRequest& wmic = fake.started[0];
  EXPECT_EQ(wmic.file, u"wmic");
  EXPECT_EQ(wmic.verb, u"open");
  EXPECT_EQ(wmic.parameters,
            u"/output:\"" + folder + u"installedapps.txt\" product get name, version");
  const ShellExecuteRequest& msinfo = fake.started[1];
  EXPECT_EQ(msinfo.file, u"msinfo32.exe");
  EXPECT_EQ(msinfo.verb, u"open");
  EXPECT_EQ(msinfo.parameters, u"/nfo \"" + folder + u"sysinfo.nfo\"");
  for (const ShellExecuteRequest& request : fake.started) {
    EXPECT_EQ(request.mask, static_cast<std::uint32_t>(SEE_MASK_NOCLOSEPROCESS));
    EXPECT_EQ(request.show, SW_SHOWNORMAL);
  }
}

TEST_F(ReportToolsTest, BothStartBeforeAnyWaitThenSystemInformationIsWaitedForFirst) {
  Programs(20, 40);
  RunReportTools(u"C:\\W\\");

  EXPECT_EQ(fake.OutputUtf8(), std::string(kListLine) + kInfoLine);
  const std::vector<std::string> expected = {
      "Print",     "Start wmic", "Print",     "Start msinfo32.exe",               //
      "Wait #2 0", "Wait #2 0",  "Wait #2 0", "Wait #2 0",          "Wait #2 0",  // 0..40 ms
      "Wait #1 0",  // long ended: one wait
      "Close #2",  "Close #1"};
  EXPECT_EQ(Calls({"Print", "Start", "Wait", "Close"}), expected);
  EXPECT_EQ(fake.nowMs, 40u);
}

TEST_F(ReportToolsTest, LongerInstalledAppsListIsWaitedForAfterSystemInformationEnds) {
  Programs(80, 20);
  RunReportTools(u"C:\\W\\");

  EXPECT_EQ(fake.nowMs, 80u) << "side by side: the longer run, not the sum";
  EXPECT_EQ(fake.processes[1].endsAtMs, 20u) << "both started at once";
  std::vector<std::string> waits = Calls({"Wait"});
  ASSERT_EQ(waits.size(), 3u + 7u);  // #2 at 0, 10, 20; #1 at 20 .. 80
  EXPECT_EQ(std::count(waits.begin(), waits.begin() + 3, "Wait #2 0"), 3);
  EXPECT_EQ(std::count(waits.begin() + 3, waits.end(), "Wait #1 0"), 7);
  EXPECT_EQ(Calls({"Close"}), (std::vector<std::string>{"Close #2", "Close #1"}));
  EXPECT_TRUE(fake.processes[0].closed && fake.processes[1].closed);
}

TEST_F(ReportToolsTest, ToolsThatCannotBeStartedAreNotWaitedFor) {
  RunReportTools(u"C:\\W\\");
  EXPECT_EQ(fake.OutputUtf8(), std::string(kListLine) + kInfoLine);
  EXPECT_EQ(Calls({"Start", "Wait", "Sleep", "Close"}),
            (std::vector<std::string>{"Start wmic", "Start msinfo32.exe"}));
  EXPECT_EQ(fake.nowMs, 0u);

  fake.trace.clear();
  fake.programRunTimesMs[u"wmic"] = 30;  // only one of the two starts
  RunReportTools(u"C:\\W\\");
  EXPECT_EQ(fake.nowMs, 30u);
  EXPECT_EQ(Calls({"Close"}), std::vector<std::string>{"Close #1"});
}

// A program planted where the tool was started from must not be found
// first: before the first start the current folder is one a user cannot
// write to, and the programs are still started by name.
TEST_F(ReportToolsTest, ProgramsAreStartedFromTheWindowsFolderOrElseTheSystemDirectory) {
  struct Case {
    const char* name;
    const char16_t* windows;  // nullptr: the lookup fails
    bool systemKnown;
    WString folder;
  };
  const Case cases[] = {
      {"Windows folder", u"C:\\Windows", true, u"C:\\Windows"},
      {"Windows folder unknown", nullptr, true, u"C:\\Windows\\system32"},
      {"Windows folder cannot be entered", u"C:\\Gone", true, u"C:\\Windows\\system32"},
      {"neither is known", nullptr, false, u"C:\\Users\\user\\Downloads"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    if (c.windows)
      local.folders[CSIDL_WINDOWS] = {0, c.windows};
    else
      local.folders.erase(CSIDL_WINDOWS);
    if (!c.systemKnown) local.systemDirectory.clear();
    local.programRunTimesMs[u"wmic"] = 10;
    RunReportTools(u"C:\\W\\");

    EXPECT_EQ(local.currentDirectory, c.folder);
    const auto& trace = local.trace;
    const auto firstStart = std::find(trace.begin(), trace.end(), "Start wmic");
    ASSERT_NE(firstStart, trace.end());
    EXPECT_EQ(std::count(firstStart, trace.end(), "SetCurrentDirectory"), 0)
        << "the folder is changed before the first start, and only then";
    ASSERT_EQ(local.started.size(), 2u);
    EXPECT_EQ(local.started[0].file, u"wmic");
    EXPECT_EQ(local.started[1].file, u"msinfo32.exe");
  }
}

// No overall time-out: a report program that runs for an hour is waited for
// to its end, however long that is.
TEST_F(ReportToolsTest, HourLongProgramIsWaitedForToItsEnd) {
  constexpr std::uint32_t kHourMs = 60 * 60 * 1000;
  Programs(30, kHourMs);
  OnSleep([this] { fake.trace.clear(); });  // an hour of polls need not be kept
  CollectDiagnostics();
  EXPECT_EQ(fake.nowMs, kHourMs);
  EXPECT_EQ(fake.messages.back(), u"-- Completed successfully\n");
}

TEST_F(ReportToolsTest, CollectionRunCompletesOnlyAfterBothToolsEnded) {
  Programs(50, 30);
  CollectDiagnostics();

  const WString folder = u"C:\\Users\\user\\Desktop\\Velmora Drivers Diagnostics\\";
  ASSERT_EQ(fake.started.size(), 2u);
  EXPECT_EQ(fake.started[0].parameters,
            u"/output:\"" + folder + u"installedapps.txt\" product get name, version");
  EXPECT_EQ(fake.started[1].parameters, u"/nfo \"" + folder + u"sysinfo.nfo\"");

  EXPECT_EQ(fake.messages.back(), u"-- Completed successfully\n");
  const std::size_t lastClose = Find("Close #1");
  ASSERT_LT(lastClose, fake.trace.size());
  EXPECT_GT(Find("Print", lastClose), lastClose) << "completion line after both were waited for";
  EXPECT_EQ(fake.nowMs, 50u);
}

}  // namespace
}  // namespace velmora
