#include "collect/log_collection.h"

#include "platform/win_constants.h"
#include "platform_fixture.h"

namespace velmora {
namespace {

using Copied = std::vector<std::pair<WString, WString>>;
const WString kWork = u"C:\\Users\\user\\Desktop\\Velmora Drivers Diagnostics\\";

class LogCollectionTest : public PlatformTest {
 protected:
  LogCollectionTest() { fake.AddDirectory(kWork.substr(0, kWork.size() - 1)); }

  void AddLog(const WString& name, FileTime time) {
    fake.AddFile(kFakeTemp + name, "contents of " + std::string(name.begin(), name.end()), time);
  }

  // Source and destination of every copy, in order.
  Copied Copies() const {
    Copied result;
    for (const auto& copy : fake.copies) result.emplace_back(copy.source, copy.destination);
    return result;
  }

  std::pair<WString, WString> FromTemp(const WString& name) const {
    return {kFakeTemp + name, kWork + name};
  }

  const std::pair<WString, WString> kSetupCopy = {u"C:\\Windows\\INF\\setupapi.dev.log",
                                                  kWork + u"setupapi.dev.log"};
};

TEST_F(LogCollectionTest, EachLineComesBeforeItsStepEvenWhenNothingIsFound) {
  CollectLogs(kWork);
  EXPECT_EQ(fake.messages,
            (std::vector<WString>{u"-- Copying MSI logs\n", u"-- Copying Wix logs\n",
                                  u"-- Copying rollback log\n", u"-- Copying setupapi logs\n"}));
  std::vector<std::string> steps;
  for (const std::string& call : fake.trace) {
    if (call == "Print" || call == "FindFirst" || call == "Copy") steps.push_back(call);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"Print", "FindFirst", "Print", "FindFirst", "Print",
                                             "FindFirst", "Print", "Copy"}));
  EXPECT_EQ(fake.searches, (std::vector<WString>{kFakeTemp + u"Velmora_Drivers_*.log",
                                                 kFakeTemp + u"Velmora_Drivers_*msi.log",
                                                 kFakeTemp + u"vl_*msi_rollback.log"}));
  EXPECT_EQ(Copies(), (Copied{kSetupCopy}));
}

TEST_F(LogCollectionTest, MsiAndWixStepsSplitOnTheExclusionWhateverTheTimes) {
  for (FileTime msiTime : {FileTime{10}, FileTime{30}}) {
    SCOPED_TRACE(msiTime);
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    local.AddDirectory(kWork.substr(0, kWork.size() - 1));
    local.AddFile(kFakeTemp + u"Velmora_Drivers_setup.log", "msi", msiTime);
    local.AddFile(kFakeTemp + u"Velmora_Drivers_bundle.msi.log", "wix", 20);
    local.AddFile(kFakeTemp + u"vl_core.msi_rollback.log", "rollback", 1);
    CollectLogs(kWork);
    ASSERT_EQ(local.copies.size(), 4u);
    EXPECT_EQ(local.copies[0].source, kFakeTemp + u"Velmora_Drivers_setup.log");
    EXPECT_EQ(local.copies[1].source, kFakeTemp + u"Velmora_Drivers_bundle.msi.log");
    EXPECT_EQ(local.copies[2].source, kFakeTemp + u"vl_core.msi_rollback.log");
    ExpectContents(local, kWork + u"Velmora_Drivers_setup.log", "msi");
    ExpectContents(local, kWork + u"Velmora_Drivers_bundle.msi.log", "wix");
    ExpectContents(local, kWork + u"vl_core.msi_rollback.log", "rollback");
  }
}

TEST_F(LogCollectionTest, NameEndingInMsiLogWithoutTheDottedFormIsCopiedByBothSteps) {
  AddLog(u"Velmora_Drivers_setup.log", 5);
  AddLog(u"Velmora_Drivers_bundlemsi.log", 8);
  CollectLogs(kWork);
  EXPECT_EQ(Copies(), (Copied{FromTemp(u"Velmora_Drivers_bundlemsi.log"),
                              FromTemp(u"Velmora_Drivers_bundlemsi.log"), kSetupCopy}));
}

TEST_F(LogCollectionTest, StepWithoutItsOwnMatchNeverCopiesAnEarlierStepsFile) {
  AddLog(u"Velmora_Drivers_setup.log", 5);
  AddLog(u"Velmora_Drivers_zero.msi.log", 0);  // the WiX step's only match
  CollectLogs(kWork);
  EXPECT_EQ(Copies(), (Copied{FromTemp(u"Velmora_Drivers_setup.log"),
                              FromTemp(u"Velmora_Drivers_zero.msi.log"), kSetupCopy}))
      << "no rollback log: that step copies nothing";
}

TEST_F(LogCollectionTest, CopiesReplaceEarlierOnesAndLeaveOtherFilesAlone) {
  AddLog(u"Velmora_Drivers_setup.log", 5);
  fake.AddFile(kWork + u"Velmora_Drivers_setup.log", "from an earlier run", 1);
  fake.AddFile(kWork + u"Velmora_Drivers_older.log", "kept", 1);
  fake.AddFile(u"C:\\Windows\\INF\\setupapi.dev.log", "device setup", 2);
  CollectLogs(kWork);
  ExpectContents(fake, kWork + u"Velmora_Drivers_setup.log",
                 "contents of Velmora_Drivers_setup.log");
  ExpectContents(fake, kWork + u"Velmora_Drivers_older.log", "kept");
  ExpectContents(fake, kWork + u"setupapi.dev.log", "device setup");
  ExpectContents(fake, kFakeTemp + u"Velmora_Drivers_setup.log",
                 "contents of Velmora_Drivers_setup.log");
}

// Read-only logs give read-only copies; run after run, the same-named copy
// is still replaced, no copy is left read-only, and no source is touched.
TEST_F(LogCollectionTest, ReadOnlyCopiesAreReplacedByEveryLaterRun) {
  const WString log = u"Velmora_Drivers_setup.log";
  const WString setup = u"C:\\Windows\\INF\\setupapi.dev.log";
  fake.AddFile(kFakeTemp + log, "run 1", 5).readOnly = true;
  fake.AddFile(setup, "setup 1", 5).readOnly = true;
  fake.AddFile(kWork + log, "from an earlier run", 1).readOnly = true;

  for (const char* run : {"run 1", "run 2"}) {
    SCOPED_TRACE(run);
    fake.AddFile(kFakeTemp + log, run, 5);
    fake.AddFile(setup, std::string("setup ") + run[4], 5);
    fake.copies.clear();
    CollectLogs(kWork);
    ExpectContents(fake, kWork + log, run);
    ExpectContents(fake, kWork + u"setupapi.dev.log", std::string("setup ") + run[4]);
    ASSERT_EQ(fake.copies.size(), 2u);
    for (const auto& copy : fake.copies) {
      EXPECT_TRUE(copy.succeeded);
      const FakePlatform::Node* node = fake.FindNode(copy.destination);
      ASSERT_NE(node, nullptr);
      EXPECT_FALSE(node->readOnly) << Utf16ToUtf8(copy.destination);
      EXPECT_TRUE(fake.FindNode(copy.source)->readOnly) << "the source keeps its attribute";
    }
  }
  for (const WString& path : fake.attributesSet) {
    EXPECT_EQ(path.compare(0, kWork.size(), kWork), 0) << Utf16ToUtf8(path);
  }
}

TEST_F(LogCollectionTest, SetupLogFollowsTheLayout) {
  struct Case {
    std::uint32_t version;
    WString source;
    WString destination;
  };
  const Case cases[] = {
      {0x0A280105u, u"D:\\WINNT\\setupapi.log", u"setupapi.log"},  // 5.1 is legacy
      {4u, u"D:\\WINNT\\setupapi.log", u"setupapi.log"},
      {6u, u"D:\\WINNT\\INF\\setupapi.dev.log", u"setupapi.dev.log"},
      {0x4A61000Au, u"D:\\WINNT\\INF\\setupapi.dev.log", u"setupapi.dev.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    fake.copies.clear();
    ResetFolderLocations();
    fake.version = c.version;
    fake.folders[CSIDL_WINDOWS] = {0, u"D:\\WINNT"};
    CopySetupLog(kWork);
    EXPECT_EQ(Copies(), (Copied{{c.source, kWork + c.destination}}));
  }
}

TEST_F(LogCollectionTest, NoWindowsFolderMeansNoSetupLogCopy) {
  fake.folders[CSIDL_WINDOWS] = {static_cast<std::int32_t>(0x80004005u), u""};
  fake.AddFile(u"\\INF\\setupapi.dev.log", "root of the current drive", 1);
  CopySetupLog(kWork);
  EXPECT_TRUE(fake.copies.empty());
  EXPECT_EQ(fake.FindNode(kWork + u"setupapi.dev.log"), nullptr);
}

TEST_F(LogCollectionTest, NoTemporaryFolderStillCopiesTheSetupLog) {
  fake.folders.erase(CSIDL_LOCAL_APPDATA);
  CollectLogs(kWork);
  EXPECT_EQ(fake.messages.size(), 4u);
  EXPECT_TRUE(fake.searches.empty());
  EXPECT_EQ(Copies(), (Copied{kSetupCopy}));
}

}  // namespace
}  // namespace velmora
