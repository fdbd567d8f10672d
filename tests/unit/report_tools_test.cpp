#include "tools/report_tools.h"

#include <algorithm>
#include <set>

#include "app/collection_run.h"
#include "platform/win_constants.h"
#include "tools/installed_apps_list.h"
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

// Where a report program is not there, nothing is asked of the shell for
// it (which would answer with an error box); where it is, the request is
// the same as ever.
TEST_F(ReportToolsTest, OnlyProgramsThatAreThereAreStartedAndAsEver) {
  struct Case {
    const char* name;
    std::set<SystemProgram> absent;
    std::vector<std::string> starts;
  };
  const Case cases[] = {
      {"both there", {}, {"Start wmic", "Start msinfo32.exe"}},
      {"no WMIC", {SystemProgram::Wmic}, {"Start msinfo32.exe"}},
      {"no msinfo32", {SystemProgram::MsInfo32}, {"Start wmic"}},
      {"neither", {SystemProgram::Wmic, SystemProgram::MsInfo32}, {}},
  };
  const WString folder = u"C:\\Users\\J\u00f6rg\\Desktop\\Velmora Drivers Diagnostics\\";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    local.absentPrograms = c.absent;
    local.programRunTimesMs[u"wmic"] = 20;
    local.programRunTimesMs[u"msinfo32.exe"] = 30;
    RunReportTools(folder);

    EXPECT_EQ(local.OutputUtf8(), std::string(kListLine) + kInfoLine);
    std::vector<std::string> lookups, starts;
    for (const std::string& call : local.trace) {
      if (call.rfind("Look for ", 0) == 0) lookups.push_back(call);
      if (call.rfind("Start ", 0) == 0) starts.push_back(call);
    }
    EXPECT_EQ(lookups, (std::vector<std::string>{"Look for wmic", "Look for msinfo32"}));
    EXPECT_EQ(starts, c.starts);
    for (const ShellExecuteRequest& request : local.started) {
      const bool wmic = request.file == u"wmic";
      EXPECT_EQ(request.file, wmic ? u"wmic" : u"msinfo32.exe");
      EXPECT_EQ(request.verb, u"open");
      EXPECT_EQ(request.parameters,
                wmic ? u"/output:\"" + folder + u"installedapps.txt\" product get name, version"
                     : u"/nfo \"" + folder + u"sysinfo.nfo\"");
      EXPECT_EQ(request.mask, static_cast<std::uint32_t>(SEE_MASK_NOCLOSEPROCESS));
      EXPECT_EQ(request.show, SW_SHOWNORMAL);
    }
    const auto firstLookup = std::find(local.trace.begin(), local.trace.end(), "Look for wmic");
    EXPECT_EQ(std::count(local.trace.begin(), firstLookup, "Print"), 1)
        << "looked for after its line, as it was started";
  }
}

// The list WMIC writes is kept; the tool writes its own from the registry
// where WMIC is not there or left no list of this run, and none where the
// registry cannot be read.
TEST_F(ReportToolsTest, InstalledAppsListFromTheRegistryWhereWmicWroteNone) {
  const WString folder = u"C:\\W\\";
  const WString list = folder + u"installedapps.txt";
  const std::vector<UninstallEntry> registry = {{u"Velmora Drivers", u"5.2.8", false, false},
                                                {u"Runtime", u"1", true, false},
                                                {u"Velmora Drivers", u"5.2.8", false, false},
                                                {u"Alpha", u"", false, false}};
  const std::string ownList = FormatInstalledAppsList(ListedPrograms(registry));
  enum Wmic { Absent, Writes, WritesNothing, CannotStart };
  struct Case {
    const char* name;
    Wmic wmic;
    bool earlierList;  // an earlier run's list in the folder
    bool readable;
    bool writesFail;
    const char* expected;   // nullptr: no file; "own": the tool's own list
    bool readOnly = false;  // the earlier list is read-only
  };
  const Case cases[] = {
      {"no WMIC", Absent, false, true, false, "own"},
      {"no WMIC, an earlier run's list", Absent, true, true, false, "own"},
      {"no WMIC, registry unreadable", Absent, false, false, false, nullptr},
      {"no WMIC, registry unreadable, an earlier list", Absent, true, false, false, "earlier"},
      {"no WMIC, the file cannot be written", Absent, false, true, true, nullptr},
      {"WMIC writes its list", Writes, false, true, false, "by wmic"},
      {"WMIC writes over an earlier list", Writes, true, true, false, "by wmic"},
      {"WMIC ends without a list", WritesNothing, false, true, false, "own"},
      {"WMIC ends leaving the earlier list as it was", WritesNothing, true, true, false, "own"},
      {"WMIC cannot be started", CannotStart, false, true, false, "own"},
      {"no WMIC, an earlier run's list made read-only", Absent, true, true, false, "own", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    local.AddDirectory(u"C:\\W");
    if (c.earlierList) local.AddFile(list, "earlier", 5).readOnly = c.readOnly;
    if (c.wmic == Absent) local.absentPrograms = {SystemProgram::Wmic};
    if (c.wmic != CannotStart) local.programRunTimesMs[u"wmic"] = 40;
    local.programRunTimesMs[u"msinfo32.exe"] = 20;
    if (c.wmic == Writes) {
      local.onStart = [&local, &list](const ShellExecuteRequest& request) {
        if (request.file == u"wmic") local.AddFile(list, "by wmic", 7);
      };
    }
    local.uninstallListsReadable = c.readable;
    local.uninstallEntries = registry;
    local.writesFail = c.writesFail;
    RunReportTools(folder);

    EXPECT_EQ(local.OutputUtf8(), std::string(kListLine) + kInfoLine) << "no line of its own";
    const FakePlatform::Node* file = local.FindNode(list);
    if (c.expected == nullptr) {
      EXPECT_EQ(file, nullptr);
    } else {
      ASSERT_NE(file, nullptr);
      EXPECT_EQ(file->contents, std::string(c.expected) == "own" ? ownList : c.expected);
      EXPECT_FALSE(file->readOnly && std::string(c.expected) == "own");
    }
    const auto& trace = local.trace;
    const auto listing = std::find(trace.begin(), trace.end(), "ListInstalledPrograms");
    EXPECT_EQ(listing != trace.end(), c.wmic != Writes) << "the registry read only when needed";
    if (listing != trace.end()) {
      EXPECT_EQ(std::count(listing, trace.end(), "Wait #1 0") +
                    std::count(listing, trace.end(), "Wait #2 0"),
                0)
          << "read once both programs ended";
    }
  }
}

}  // namespace
}  // namespace velmora
