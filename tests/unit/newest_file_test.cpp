#include "collect/newest_file.h"

#include "platform/win_constants.h"
#include "platform_fixture.h"

namespace velmora {
namespace {

const WString kMsi = u"Velmora_Drivers_*.log";

class NewestFileTest : public PlatformTest {
 protected:
  void AddLog(const WString& logName, FileTime time) {
    fake.AddFile(kFakeTemp + logName, "log", time);
  }

  // Runs a search with outputs that start out holding "before".
  bool Find(const WString& exclusion = u"", const WString& pattern = kMsi) {
    name = u"before";
    path = u"before";
    return FindNewestFile(name, exclusion, pattern, path);
  }

  void ExpectTaken(const WString& expected) {
    EXPECT_EQ(name, expected);
    EXPECT_EQ(path, kFakeTemp + expected);
  }

  WString name;
  WString path;
};

TEST_F(NewestFileTest, NothingTakenLeavesTheOutputsAlone) {
  EXPECT_FALSE(Find()) << "empty folder";
  AddLog(u"Velmora_Drivers_a.msi.log", 5);
  AddLog(u"Other_a.log", 9);
  fake.AddDirectory(kFakeTemp + u"Velmora_Drivers_folder.log", 9);
  EXPECT_FALSE(Find(u".msi.")) << "only excluded names and a folder match";
  EXPECT_EQ(name, u"before");
  EXPECT_EQ(path, u"before");
  EXPECT_EQ(fake.searches.back(), kFakeTemp + kMsi);
  EXPECT_EQ(fake.openSearches, 0);
  EXPECT_EQ(fake.Count("FindClose"), 1u) << "the search that found entries was closed";
}

TEST_F(NewestFileTest, TakesTheNewestAndTheFirstOfEquallyNewOnes) {
  AddLog(u"Velmora_Drivers_1.log", 5);
  AddLog(u"Velmora_Drivers_2.log", 9);
  AddLog(u"Velmora_Drivers_3.log", 9);
  AddLog(u"Velmora_Drivers_4.log", 3);
  EXPECT_TRUE(Find());
  ExpectTaken(u"Velmora_Drivers_2.log");
  EXPECT_EQ(fake.openSearches, 0);
}

TEST_F(NewestFileTest, TimesCompareAsUnsignedSixtyFourBitValues) {
  AddLog(u"Velmora_Drivers_low.log", 0x00000000FFFFFFFFull);
  AddLog(u"Velmora_Drivers_high.log", 0x8000000000000000ull);
  AddLog(u"Velmora_Drivers_mid.log", 0x0000000100000000ull);
  EXPECT_TRUE(Find());
  ExpectTaken(u"Velmora_Drivers_high.log");
}

TEST_F(NewestFileTest, FirstFileIsTakenEvenWithAZeroTime) {
  AddLog(u"Velmora_Drivers_zero.log", 0);
  EXPECT_TRUE(Find());
  ExpectTaken(u"Velmora_Drivers_zero.log");

  AddLog(u"Velmora_Drivers_later.log", 1);
  AddLog(u"Velmora_Drivers_zero2.log", 0);
  EXPECT_TRUE(Find());
  ExpectTaken(u"Velmora_Drivers_later.log");
}

TEST_F(NewestFileTest, FolderNeverHidesTheNewestFile) {
  fake.AddDirectory(kFakeTemp + u"Velmora_Drivers_dir.log", 100);
  AddLog(u"Velmora_Drivers_file.log", 1);
  fake.AddDirectory(kFakeTemp + u"Velmora_Drivers_dir2.log", 0);
  EXPECT_TRUE(Find());
  ExpectTaken(u"Velmora_Drivers_file.log");
}

TEST_F(NewestFileTest, ExclusionIsACaseSensitiveSubstringAnywhereInTheName) {
  struct Case {
    WString name;
    bool excluded;
  };
  const Case cases[] = {
      {u"Velmora_Drivers_a.msi.log", true},  {u"Velmora_Drivers_.msi.b.log", true},
      {u"Velmora_Drivers_a.MSI.log", false}, {u"Velmora_Drivers_a.Msi.log", false},
      {u"Velmora_Drivers_amsi.log", false},  {u"Velmora_Drivers_a.msilog.log", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    FakePlatform local;
    ScopedPlatformOverride use(local);
    ResetFolderLocations();
    local.AddFile(kFakeTemp + c.name, "log", 7);
    EXPECT_EQ(Find(u".msi."), !c.excluded);
    EXPECT_EQ(name, c.excluded ? u"before" : c.name);
    EXPECT_TRUE(Find(u"")) << "an empty exclusion excludes nothing";
  }
}

TEST_F(NewestFileTest, NameInOtherLetterCaseMatchesAndIsReportedAsItIs) {
  AddLog(u"VELMORA_DRIVERS_SETUP.LOG", 4);
  EXPECT_TRUE(Find());
  ExpectTaken(u"VELMORA_DRIVERS_SETUP.LOG");
}

TEST_F(NewestFileTest, NoTemporaryFolderMeansNoSearchAtAll) {
  // Names a search of the current folder would find.
  fake.AddFile(u"Velmora_Drivers_here.log", "current folder", 5);
  for (auto answer : {FakePlatform::FolderAnswer{static_cast<std::int32_t>(0x80004005u), u""},
                      FakePlatform::FolderAnswer{0, WString(255, u'x')}}) {
    ResetFolderLocations();
    fake.folders[CSIDL_LOCAL_APPDATA] = answer;
    EXPECT_FALSE(Find());
    EXPECT_EQ(name, u"before");
  }
  EXPECT_TRUE(fake.searches.empty());
}

}  // namespace
}  // namespace velmora
