// The zip reader against archives as Windows makes them and archives that
// lie: false sizes, bombs, cut files, names that point elsewhere.
#include "zip_archive.h"

#include <gtest/gtest.h>

#include <string>

#include "zip_builder.h"

namespace triage {
namespace {

using testing::MakeZip;
using testing::ZipItem;

struct Read {
  std::string bytes;
  std::string problem;
};

Read ReadEntry(ZipArchive& archive, std::size_t index, std::size_t piece = 4096) {
  auto stream = archive.OpenEntry(archive.entries().at(index));
  Read read;
  std::string buffer(piece, '\0');
  while (std::size_t got = stream->Read(buffer.data(), buffer.size()))
    read.bytes.append(buffer.data(), got);
  read.problem = stream->problem();
  return read;
}

std::string Text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) {
    text += "MSI (s) (7C:10) [12:00:0" + std::to_string(i % 10) + "]: line " + std::to_string(i) +
            "\r\n";
  }
  text.resize(size);
  return text;
}

TEST(ZipArchive, StoredAndDeflatedEntriesReadBackExactly) {
  const std::string big = Text(300000);
  std::string zip = MakeZip({{"Diag/MSI1.log", big, true},
                             {"Diag/setupapi.dev.log", "plain", false},
                             {"Diag/", "", false},
                             {"Diag/empty.txt", "", true}});
  MemoryInput input(zip);
  ZipArchive archive(input);
  std::string error;
  ASSERT_TRUE(archive.Open(error)) << error;
  ASSERT_EQ(archive.entries().size(), 4u);
  EXPECT_EQ(archive.entries()[1].name, "Diag/setupapi.dev.log");
  EXPECT_TRUE(archive.entries()[2].is_folder());
  for (std::size_t piece : {std::size_t{1000}, std::size_t{1} << 20}) {
    Read first = ReadEntry(archive, 0, piece);
    EXPECT_EQ(first.bytes, big);
    EXPECT_EQ(first.problem, "");
  }
  EXPECT_EQ(ReadEntry(archive, 1).bytes, "plain");
  Read empty = ReadEntry(archive, 3);
  EXPECT_EQ(empty.bytes, "");
  EXPECT_EQ(empty.problem, "");
}

TEST(ZipArchive, Zip64SizesAndOffsets) {
  const std::string text = Text(70000);
  std::string zip =
      MakeZip({{"Diag/MSI1.log", text, true}, {"Diag/MSI2.log", "second", false}}, true);
  MemoryInput input(zip);
  ZipArchive archive(input);
  std::string error;
  ASSERT_TRUE(archive.Open(error)) << error;
  ASSERT_EQ(archive.entries().size(), 2u);
  EXPECT_EQ(archive.entries()[0].size, text.size());
  EXPECT_EQ(ReadEntry(archive, 0).bytes, text);
  Read second = ReadEntry(archive, 1);
  EXPECT_EQ(second.bytes, "second");
  EXPECT_EQ(second.problem, "");
  // A locator pointing nowhere is a damaged archive, not a crash.
  std::string lost = zip;
  lost[lost.size() - 22 - 20 + 8] ^= 0x40;
  MemoryInput lost_input(lost);
  ZipArchive lost_archive(lost_input);
  EXPECT_FALSE(lost_archive.Open(error));
  EXPECT_NE(error.find("Zip64"), std::string::npos) << error;
}

TEST(ZipArchive, FalseSizesAreCaughtAndNothingBeyondThemIsRead) {
  const std::string text = Text(50000);
  std::string zip = MakeZip({{"small-claim.log", text, true, 1000},
                             {"large-claim.log", text, true, 90000},
                             {"stored-claims.log", text, false, 70000},
                             {"compressed-beyond.log", text, true, std::nullopt, 1u << 30}});
  MemoryInput input(zip);
  ZipArchive archive(input);
  std::string error;
  ASSERT_TRUE(archive.Open(error)) << error;

  Read small = ReadEntry(archive, 0);
  EXPECT_EQ(small.bytes, text.substr(0, 1000));
  EXPECT_NE(small.problem.find("more than the 1000 bytes it claims"), std::string::npos)
      << small.problem;

  Read large = ReadEntry(archive, 1);
  EXPECT_EQ(large.bytes, text);
  EXPECT_NE(large.problem.find("fewer than"), std::string::npos) << large.problem;

  Read stored = ReadEntry(archive, 2);
  EXPECT_EQ(stored.bytes, text);
  EXPECT_NE(stored.problem.find("disagree"), std::string::npos) << stored.problem;

  // A compressed size past the archive's end: the entry's own data still
  // inflates, the reader never reads beyond the archive.
  Read beyond = ReadEntry(archive, 3);
  EXPECT_EQ(beyond.bytes, text);
}

TEST(ZipArchive, DeflateBombsAndHugeEntriesStopAtTheCap) {
  const std::string zeros(16 << 20, '\0');
  std::string zip = MakeZip({{"bomb.log", zeros, true}});
  ASSERT_LT(zip.size(), 50000u);
  MemoryInput input(zip);
  ZipLimits limits;
  limits.ratio_floor_bytes = 1 << 20;
  ZipArchive archive(input, limits);
  std::string error;
  ASSERT_TRUE(archive.Open(error)) << error;
  Read bomb = ReadEntry(archive, 0, 1 << 16);
  EXPECT_LE(bomb.bytes.size(), (1u << 20) + (1u << 16));
  EXPECT_NE(bomb.problem.find("deflate bomb"), std::string::npos) << bomb.problem;

  // The absolute cap holds whatever the ratio.
  ZipLimits capped;
  capped.max_entry_bytes = 100000;
  ZipArchive small_cap(input, capped);
  ASSERT_TRUE(small_cap.Open(error));
  Read cut = ReadEntry(small_cap, 0);
  EXPECT_EQ(cut.bytes.size(), 100000u);
  EXPECT_NE(cut.problem.find("larger than the 100000 bytes"), std::string::npos) << cut.problem;
}

TEST(ZipArchive, CutAndDamagedArchivesGiveAReasonNotACrash) {
  const std::string text = Text(20000);
  const std::string zip = MakeZip({{"a.log", text, true}, {"b.log", text, false}});
  std::string error;
  // Cut anywhere: the directory at the end is gone.
  for (std::size_t keep : {std::size_t{0}, std::size_t{10}, zip.size() / 2, zip.size() - 1}) {
    std::string cut = zip.substr(0, keep);
    MemoryInput input(cut);
    ZipArchive archive(input);
    EXPECT_FALSE(archive.Open(error)) << keep;
    EXPECT_FALSE(error.empty());
  }
  // A directory that claims more entries than it holds.
  std::string liar = zip;
  liar[liar.size() - 22 + 10] = 50;
  MemoryInput liar_input(liar);
  ZipArchive liar_archive(liar_input);
  EXPECT_FALSE(liar_archive.Open(error));
  // A directory offset outside the archive.
  std::string outside = zip;
  outside[outside.size() - 22 + 19] = 0x7F;
  MemoryInput outside_input(outside);
  ZipArchive outside_archive(outside_input);
  EXPECT_FALSE(outside_archive.Open(error));
  EXPECT_NE(error.find("outside"), std::string::npos) << error;
  // Damaged compressed data: the stream says so.
  std::string damaged = zip;
  for (std::size_t i = 60; i < 200; ++i) damaged[i] = static_cast<char>(0xFF);
  MemoryInput damaged_input(damaged);
  ZipArchive damaged_archive(damaged_input);
  ASSERT_TRUE(damaged_archive.Open(error));
  EXPECT_NE(ReadEntry(damaged_archive, 0).problem, "");
  // A local header that is not where the directory says.
  std::string moved = zip;
  moved[0] = 'X';
  MemoryInput moved_input(moved);
  ZipArchive moved_archive(moved_input);
  ASSERT_TRUE(moved_archive.Open(error));
  EXPECT_NE(ReadEntry(moved_archive, 0).problem.find("local header"), std::string::npos);
}

TEST(ZipArchive, EntriesCutByTheArchiveEndSaySo) {
  // The entry claims more bytes than the archive holds after it.
  const std::string text = Text(20000);
  std::string stored_zip = MakeZip({{"a.log", text, false, 40000, 40000}});
  MemoryInput input(stored_zip);
  ZipArchive archive(input);
  std::string error;
  ASSERT_TRUE(archive.Open(error)) << error;
  Read read = ReadEntry(archive, 0);
  EXPECT_LT(read.bytes.size(), 20200u);
  EXPECT_NE(read.problem.find("archive ends inside it"), std::string::npos) << read.problem;
}

}  // namespace
}  // namespace triage
