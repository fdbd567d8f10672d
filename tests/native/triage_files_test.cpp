// velmora-triage's reads against links and against a folder that changes
// after it was listed: a log swapped for a FIFO, or for a link to a file
// outside, between the listing and the read; a queue's ticket that is a
// link. None may block nor be followed. (Wine cannot make links, so these
// run natively only.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "input/collection.h"
#include "triage_run.h"
#include "zip_builder.h"

namespace triage {
namespace {

namespace fs = std::filesystem;

TEST(TriageFiles, AFileSwappedAfterListingIsRefusedNotWaitedFor) {
  alarm(60);  // a read that waits for a FIFO's writer ends the test, failed
  const fs::path root = fs::current_path() / "triage_files_test";
  fs::remove_all(root);
  fs::create_directories(root / "folder");
  std::ofstream(root / "outside.log") << "Action ended 10:00:00: INSTALL. Return value 3.\n";
  const char* swaps[] = {"fifo", "link"};
  for (const char* swap : swaps) {
    std::ofstream(root / "folder" / (std::string(swap) + ".log")) << "listed as a file\n";
  }
  std::string error;
  auto collection = OpenCollection(root / "folder", error);
  ASSERT_TRUE(collection) << error;
  ASSERT_EQ(collection->files().size(), 2u);
  fs::remove(root / "folder" / "fifo.log");
  ASSERT_EQ(mkfifo((root / "folder" / "fifo.log").c_str(), 0600), 0);
  fs::remove(root / "folder" / "link.log");
  fs::create_symlink(root / "outside.log", root / "folder" / "link.log");
  for (const CollectedFile& file : collection->files()) {
    std::string problem;
    // Before the reads checked what they opened, the FIFO held this call
    // until a writer came, and the link was read.
    EXPECT_FALSE(collection->Open(file, problem)) << file.name;
    EXPECT_NE(problem.find(file.name == "fifo.log" ? "not a regular file" : "link"),
              std::string::npos)
        << file.name << ": " << problem;
  }
  fs::remove_all(root);
  alarm(0);
}

TEST(TriageFiles, TicketsThatAreLinksAreRefused) {
  const fs::path root = fs::current_path() / "triage_files" / "ticket-links";
  fs::remove_all(root);
  fs::create_directories(root / "real");
  std::ofstream(root / "real" / "MSI1.log") << "Action ended 10:00:00: INSTALL. Return value 3.\n";
  std::ofstream(root / "real.zip", std::ios::binary)
      << testing::MakeZip({{"MSI1.log", "Action ended 10:00:00: X.\n", true}});
  for (const fs::path& target : {root / "real", root / "real.zip"}) {
    SCOPED_TRACE(target.string());
    const fs::path link = root / ("link-" + target.filename().string());
    fs::create_symlink(target, link);
    std::string error;
    EXPECT_TRUE(OpenCollection(link, error)) << error;
    EXPECT_FALSE(OpenCollection(link, error, {}, velmora::files::Links::Refuse));
    EXPECT_NE(error.find("link"), std::string::npos) << error;
    RunLimits limits;
    limits.follow_link = false;
    Outcome outcome;
    EXPECT_FALSE(Triage(link, "ticket", limits, outcome, error));
  }
  fs::remove_all(root);
}

}  // namespace
}  // namespace triage
