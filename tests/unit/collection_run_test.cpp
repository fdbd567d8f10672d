#include "app/collection_run.h"

#include <algorithm>

#include "platform/win_constants.h"
#include "platform_fixture.h"

namespace velmora {
namespace {

const char kBannerTitle[] = "--- VELMORA KB TX5208 tool ---\n";
const char kBannerPurpose[] =
    "This utility collects diagnostic information necessary for troubleshooting of Velmora "
    "Drivers installation\n";
const char kCreating[] =
    "-- Creating working folder 'Velmora Drivers Diagnostics' on user's desktop\n";
const char kLogLines[] =
    "-- Copying MSI logs\n-- Copying Wix logs\n-- Copying rollback log\n"
    "-- Copying setupapi logs\n";

using CollectionRunTest = PlatformTest;

TEST_F(CollectionRunTest, BannerIsThreeWritesWithANoticeBetweenBlankLines) {
  PrintBanner();
  ASSERT_EQ(fake.messages.size(), 3u);
  EXPECT_EQ(fake.messages[0], u"--- VELMORA KB TX5208 tool ---\n");
  const WString& notice = fake.messages[2];
  ASSERT_GE(notice.size(), 4u);
  EXPECT_EQ(notice.substr(0, 1), u"\n");
  EXPECT_EQ(notice.substr(notice.size() - 2), u"\n\n");
  WString text = notice.substr(1, notice.size() - 3);
  EXPECT_EQ(text.find(u'\n'), WString::npos) << "one notice line";
  for (WChar c : notice) EXPECT_LT(c, 0x80) << "plain ASCII";
  EXPECT_EQ(fake.OutputUtf8().substr(0, sizeof kBannerTitle - 1 + sizeof kBannerPurpose - 1),
            std::string(kBannerTitle) + kBannerPurpose);
}

TEST_F(CollectionRunTest, FullRunPrintsEveryLineAndOpensTheFolderWithItsBackslash) {
  fake.activeWindow = reinterpret_cast<Window>(0x1234);
  CollectDiagnostics();

  EXPECT_EQ(fake.OutputUtf8(), std::string(kCreating) + kLogLines +
                                   "-- Getting list of installed applications\n"
                                   "-- Getting system information. Please wait...\n"
                                   "-- Completed successfully\n");
  ASSERT_EQ(fake.shellRequests.size(), 1u);
  const auto& open = fake.shellRequests[0];
  EXPECT_EQ(open.owner, reinterpret_cast<Window>(0x1234));
  EXPECT_EQ(open.verb, u"open");
  EXPECT_EQ(open.file, u"C:\\Users\\user\\Desktop\\Velmora Drivers Diagnostics\\");
  EXPECT_EQ(open.parameters, u"");
  EXPECT_EQ(open.show, SW_SHOWNORMAL);
  EXPECT_EQ(fake.trace.back(), "Open") << "opening the folder is the last thing the run does";
  EXPECT_TRUE(fake.IsDirectory(u"C:\\Users\\user\\Desktop\\Velmora Drivers Diagnostics"));
}

TEST_F(CollectionRunTest, OpensWithNoOwnerWhenNoWindowIsActive) {
  CollectDiagnostics();
  ASSERT_EQ(fake.shellRequests.size(), 1u);
  EXPECT_EQ(fake.shellRequests[0].owner, nullptr);
}

TEST_F(CollectionRunTest, FailedWorkingFolderPrintsTheErrorAndStops) {
  fake.folders.erase(CSIDL_DESKTOP);
  CollectDiagnostics();

  EXPECT_EQ(fake.OutputUtf8(),
            std::string(kCreating) + "-- ERROR: unable to create working folder\n");
  EXPECT_TRUE(fake.shellRequests.empty());
  EXPECT_TRUE(fake.started.empty());
  EXPECT_TRUE(fake.searches.empty());
  EXPECT_TRUE(fake.copies.empty());
}

// Memory may run out at any point of a run: wherever it does, the tool exits
// with 0, having printed only what it printed before, and does nothing more
// than close what it holds.
TEST_F(CollectionRunTest, MemoryRunningOutAnywhereEndsTheRunQuietlyWithStatusZero) {
  auto arrange = [](FakePlatform& f) {
    f.AddFile(kFakeTemp + u"Velmora_Drivers_setup.log", "msi", 5);
    f.AddFile(kFakeTemp + u"vl_core.msi_rollback.log", "rollback", 5);
    f.programRunTimesMs[u"wmic"] = 20;
    f.programRunTimesMs[u"msinfo32.exe"] = 30;
  };
  arrange(fake);
  ASSERT_EQ(RunTool(), 0);
  ASSERT_EQ(fake.trace.back(), "Open");
  const std::vector<WString> allMessages = fake.messages;

  for (std::size_t failing = 0; failing < fake.CallsThatMayFail(); ++failing) {
    SCOPED_TRACE(failing);
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    arrange(local);
    local.allocationFailsAtCall = failing;
    EXPECT_EQ(RunTool(), 0);

    // The failing call is the last one that is not a close.
    const auto& trace = local.trace;
    auto last = std::find_if(trace.rbegin(), trace.rend(), [](const std::string& call) {
      return call.compare(0, 5, "Close") != 0 && call != "FindClose";
    });
    ASSERT_NE(last, trace.rend());
    EXPECT_EQ(local.CallsThatMayFail(), failing + 1) << "nothing was called after it";
    const auto printsBefore =
        static_cast<std::size_t>(std::count(trace.begin(), last.base() - 1, std::string("Print")));
    EXPECT_EQ(local.messages,
              std::vector<WString>(allMessages.begin(), allMessages.begin() + printsBefore));
    EXPECT_EQ(local.openSearches, 0);
    for (const FakePlatform::Process& process : local.processes) EXPECT_TRUE(process.closed);
  }
}

}  // namespace
}  // namespace velmora
