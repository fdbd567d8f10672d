// What PATH is taken for, and which of its files are read: folders, zips
// with or without a top folder, hostile names, folders of 100,000 files.
#include "input/collection.h"

#include <gtest/gtest.h>

#include <fstream>

#include "file_kinds.h"
#include "input/byte_stream.h"
#include "input_findings.h"
#include "triage_run.h"
#include "zip_builder.h"

namespace triage {
namespace {

namespace fs = std::filesystem;

class CollectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::current_path() / "collection_test" /
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path Write(const fs::path& relative, const std::string& bytes) {
    fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::vector<std::string> Names(const Collection& collection) {
    std::vector<std::string> names;
    for (const auto& file : collection.files())
      names.push_back(file.name + "=" +
                      (KindByName(file.name) ? KindByName(file.name)->name : "other"));
    return names;
  }
  fs::path root_;
};

TEST(FileKinds, ByNameAndByContent) {
  const auto named = [](std::string_view name) {
    const FileKind* kind = KindByName(name);
    return std::string(kind == nullptr ? "none" : kind->name);
  };
  const auto sniffed = [](std::string_view head) { return std::string(KindByContent(head)->name); };
  EXPECT_EQ(named("SetupAPI.dev.log"), "device-setup log");
  EXPECT_EQ(named("setupapi.log"), "device-setup log");
  EXPECT_EQ(named("MSI3a7c1.LOG"), "installer log");
  EXPECT_EQ(named("Velmora_Drivers_20240101.log"), "installer log");
  EXPECT_EQ(named("InstalledApps.txt"), "installed-applications list");
  EXPECT_EQ(named("top/sysinfo.nfo"), "system-information report");
  EXPECT_EQ(named("notes.txt"), "none");
  EXPECT_EQ(sniffed(">>>  [Device Install (Hardware initiated) - PCI\\VEN_1]\n"),
            "device-setup log");
  EXPECT_EQ(sniffed("[SetupAPI Log]\n#-199 Executing\n"), "device-setup log");
  EXPECT_EQ(sniffed("<?xml version=\"1.0\"?>\n<MsInfo>\n"), "system-information report");
  EXPECT_EQ(sniffed("Name                 Version  \nVelmora Drivers      2.1\n"),
            "installed-applications list");
  EXPECT_EQ(sniffed("=== Verbose logging started"), "installer log");
}

TEST_F(CollectionTest, FolderAtItsRootOrInsideOneTopFolder) {
  Write("Velmora Drivers Diagnostics/MSI1.log", "x");
  Write("Velmora Drivers Diagnostics/setupapi.dev.log", "x");
  Write("Velmora Drivers Diagnostics/notes.txt", "x");
  std::string error;
  for (const fs::path& path : {root_, root_ / "Velmora Drivers Diagnostics"}) {
    auto collection = OpenCollection(path, error);
    ASSERT_TRUE(collection) << error;
    EXPECT_EQ(Names(*collection),
              (std::vector<std::string>{"MSI1.log=installer log", "notes.txt=other",
                                        "setupapi.dev.log=device-setup log"}));
    EXPECT_FALSE(collection->single_file());
  }
}

TEST_F(CollectionTest, ZipWithOneTopFolderOrFilesAtItsRoot) {
  const std::string log = testing::Utf16Le(u"line\r\n");
  for (const char* top : {"", "Velmora Drivers Diagnostics/"}) {
    std::string prefix = top;
    std::vector<testing::ZipItem> items = {{prefix + "installedapps.txt", log, true},
                                           {prefix + "sysinfo.nfo", log, false},
                                           {prefix + "deeper/MSI9.log", log, true}};
    if (!prefix.empty()) items.insert(items.begin(), {prefix, "", false});
    fs::path zip = Write(std::string(*top ? "top" : "root") + ".zip", testing::MakeZip(items));
    std::string error;
    auto collection = OpenCollection(zip, error);
    ASSERT_TRUE(collection) << error;
    EXPECT_EQ(Names(*collection),
              (std::vector<std::string>{"installedapps.txt=installed-applications list",
                                        "sysinfo.nfo=system-information report"}))
        << top;
    ASSERT_EQ(collection->problems().size(), 1u);
    EXPECT_EQ(InputFinding(collection->problems()[0]).rule, "input.subfolder-files");
    std::string problem;
    auto stream = collection->Open(collection->files()[0], problem);
    ASSERT_TRUE(stream);
    std::string bytes(100, '\0');
    bytes.resize(stream->Read(bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, log);
  }
}

TEST_F(CollectionTest, NamesThatPointOutsideAreOnlyNames) {
  fs::path zip = Write("evil/evil.zip", testing::MakeZip({{"../setupapi.dev.log", "a", true},
                                                          {"/tmp/MSI1.log", "b", false},
                                                          {"C:\\Windows\\x.log", "c", false},
                                                          {"fine.log", "d", false}}));
  std::string error;
  auto collection = OpenCollection(zip, error);
  ASSERT_TRUE(collection) << error;
  EXPECT_EQ(Names(*collection),
            (std::vector<std::string>{"../setupapi.dev.log=device-setup log",
                                      "/tmp/MSI1.log=installer log",
                                      "C:/Windows/x.log=installer log", "fine.log=installer log"}));
  ASSERT_EQ(collection->problems().size(), 1u);
  const Finding note = InputFinding(collection->problems()[0]);
  EXPECT_EQ(note.rule, "input.unsafe-name");
  EXPECT_NE(note.message.find("3 names in the archive point outside"), std::string::npos);
  // Reading them writes nothing anywhere.
  std::string problem;
  for (const auto& file : collection->files()) collection->Open(file, problem);
  EXPECT_FALSE(fs::exists(root_ / "setupapi.dev.log"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "evil"), fs::directory_iterator()), 1);
}

TEST_F(CollectionTest, LargeFilesReadWholeAcrossWindows) {
  // Lines of varying length straddle every window the file is read in.
  std::string text;
  uint64_t lines = 0;
  while (text.size() < (17u << 20)) {
    ++lines;
    text += "line " + std::to_string(lines) + std::string(lines % 97, '.') + "\r\n";
  }
  Write("big/MSI1.log", text);
  std::string error;
  auto collection = OpenCollection(root_ / "big", error);
  ASSERT_TRUE(collection) << error;
  std::string problem;
  auto stream = collection->Open(collection->files().at(0), problem);
  ASSERT_TRUE(stream) << problem;
  std::vector<char> buffer(1 << 16);
  std::string read;
  while (std::size_t size = stream->Read(buffer.data(), buffer.size())) {
    read.append(buffer.data(), size);
  }
  EXPECT_EQ(stream->problem(), "");
  EXPECT_TRUE(read == text) << read.size() << " of " << text.size() << " bytes";
}

TEST_F(CollectionTest, AFileShortenedWhileReadEndsCleanly) {
  // Another program may cut a log short at any time: before the first
  // window is read, or between windows. Reading stops with a problem named,
  // never with a fault, and what was read before is intact.
  const std::string text(20u << 20, 'x');
  for (const uint64_t cut_after : {uint64_t{0}, uint64_t{1}}) {
    const fs::path path = Write("cut/MSI" + std::to_string(cut_after) + ".log", text);
    std::string problem;
    auto stream = OpenFileStream(path, velmora::files::Links::Refuse, problem);
    ASSERT_TRUE(stream) << problem;
    std::vector<char> buffer(1 << 16);
    std::string read;
    for (uint64_t i = 0; i < cut_after; ++i) {
      const std::size_t size = stream->Read(buffer.data(), buffer.size());
      ASSERT_GT(size, 0u);
      read.append(buffer.data(), size);
    }
    // Ends inside the next window. Windows refuses to shorten a file while
    // it is mapped: then the whole file must come.
    std::error_code refused;
    fs::resize_file(path, read.size() + 1000, refused);
    while (std::size_t size = stream->Read(buffer.data(), buffer.size())) {
      read.append(buffer.data(), size);
    }
    if (refused) {
      EXPECT_EQ(stream->problem(), "");
      EXPECT_EQ(read.size(), text.size());
    } else {
      EXPECT_NE(stream->problem(), "") << cut_after;
      EXPECT_LE(read.size(), fs::file_size(path));
    }
    EXPECT_TRUE(text.compare(0, read.size(), read) == 0);
  }
}

TEST_F(CollectionTest, UnreadablePathsAreErrors) {
  std::string error;
  EXPECT_FALSE(OpenCollection(root_ / "missing", error));
  EXPECT_EQ(error, "no such file or folder");
  EXPECT_FALSE(OpenCollection(Write("fake.zip", "PK\x03\x04 not really"), error));
  EXPECT_NE(error.find("not a readable zip archive"), std::string::npos) << error;
  // A single log is a collection of one; the run tells its kind by content.
  auto single = OpenCollection(Write("device.txt", ">>>  [Device Install]\n"), error);
  ASSERT_TRUE(single);
  EXPECT_TRUE(single->single_file());
  EXPECT_EQ(Names(*single), std::vector<std::string>{"device.txt=other"});
}

// A queue's ticket replaced by a link while the queue runs: PATH is
// followed (the engineer named it), a ticket never is (its target was read
// before).
TEST_F(CollectionTest, ManyFilesAreListedButFewAreRead) {
  // The end-to-end test makes 100,000; the cap is the same here.
  for (int i = 0; i < 3000; ++i)
    std::ofstream(root_ / ("f" + std::to_string(i) + (i % 10 ? ".tmp" : ".log")));
  RunLimits limits;
  limits.max_files = 50;
  Outcome outcome;
  std::string error;
  ASSERT_TRUE(Triage(root_, "folder", limits, outcome, error)) << error;
  EXPECT_EQ(outcome.files_read, 50u);
  bool capped = false;
  for (const auto& finding : outcome.findings) {
    if (finding.rule == "input.too-many-files") {
      capped = true;
      EXPECT_NE(finding.message.find("300 files"), std::string::npos) << finding.message;
    }
  }
  EXPECT_TRUE(capped);
}

}  // namespace
}  // namespace triage
