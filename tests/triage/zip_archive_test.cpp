// The zip reader against archives as Windows makes them and archives that
// lie: false sizes, bombs, cut files, names that point elsewhere, records
// sharing their bytes, wrong checksums, end records planted in comments.
#include "input/zip_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "input_findings.h"
#include "zip_builder.h"

namespace triage {
namespace {

using testing::AliasOf;
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

// Records pointing into one another's bytes would inflate one compressed
// entry again and again: one of them is read, the others are left out and
// named in one note.
TEST(ZipArchive, RecordsSharingBytesAreReadOnce) {
  const std::string text = Text(30000);
  std::vector<ZipItem> fifty = {{"Diag/MSI1.log", text, true}};
  for (int i = 2; i <= 50; ++i)
    fifty.push_back(AliasOf("Diag/MSI" + std::to_string(i) + ".log", 0));
  struct Case {
    const char* what;
    std::vector<ZipItem> items;
    std::vector<std::string> kept;
    std::string note;  // in the note's message; "" for no note
  };
  const Case cases[] = {
      {"neighbours only touch",
       {{"a.log", text, false}, {"b.log", text, true}},
       {"a.log", "b.log"},
       ""},
      {"fifty records at one entry", fifty, {"Diag/MSI1.log"}, "49 entries"},
      {"a record inside another's data",
       {{"a.log", text, false}, AliasOf("b.log", 0, 30 + 5 + 1000), {"c.log", text, true}},
       {"a.log", "c.log"},
       "\"b.log\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string zip = MakeZip(c.items);
    MemoryInput input(zip);
    ZipArchive archive(input);
    std::string error;
    ASSERT_TRUE(archive.Open(error)) << error;
    std::vector<std::string> kept;
    for (const auto& entry : archive.entries()) kept.push_back(entry.name);
    EXPECT_EQ(kept, c.kept);
    for (std::size_t i = 0; i < archive.entries().size(); ++i) {
      Read read = ReadEntry(archive, i);
      EXPECT_TRUE(read.bytes == text) << i;
      EXPECT_EQ(read.problem, "");
    }
    if (c.note.empty()) {
      EXPECT_TRUE(archive.problems().empty());
    } else {
      ASSERT_EQ(archive.problems().size(), 1u);
      const Finding note = InputFinding(archive.problems()[0]);
      EXPECT_EQ(note.rule, "input.overlapping-entries");
      EXPECT_NE(note.message.find(c.note), std::string::npos) << note.message;
    }
  }
}

// However its entries are made, an archive gives at most one budget of
// bytes; an entry that reaches it is cut, and those after it are not read.
TEST(ZipArchive, TheWholeArchiveHasOneBudget) {
  const std::string text = Text(100000);
  const std::string zip = MakeZip({{"a.log", text, true},
                                   {"b.log", text, false},
                                   {"c.log", text, true},
                                   {"d.log", text, false},
                                   {"empty.log", "", true}});
  struct Case {
    uint64_t budget;
    std::vector<std::size_t> sizes;  // of each entry read
    std::vector<const char*> problems;
  };
  const Case cases[] = {
      {400000, {100000, 100000, 100000, 100000, 0}, {"", "", "", "", ""}},
      {250000, {100000, 100000, 50000, 0, 0}, {"", "", "budget", "not read", ""}},
      {150000, {100000, 50000, 0, 0, 0}, {"", "budget", "not read", "not read", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.budget);
    MemoryInput input(zip);
    ZipLimits limits;
    limits.max_archive_bytes = c.budget;
    ZipArchive archive(input, limits);
    std::string error;
    ASSERT_TRUE(archive.Open(error)) << error;
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      Read read = ReadEntry(archive, i, 7000);
      EXPECT_EQ(read.bytes.size(), c.sizes[i]) << i;
      EXPECT_TRUE(text.compare(0, read.bytes.size(), read.bytes) == 0) << i;
      if (*c.problems[i] == '\0') {
        EXPECT_EQ(read.problem, "") << i;
      } else {
        EXPECT_NE(read.problem.find(c.problems[i]), std::string::npos) << i << ": " << read.problem;
      }
    }
  }
}

// Every entry read is checked against its CRC-32, stored or deflated, read
// in small pieces or large.
TEST(ZipArchive, ChecksumsAreChecked) {
  const std::string text = Text(100000);
  const auto crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(text.data()), text.size()));
  struct Case {
    const char* what;
    bool deflate;
    std::optional<uint32_t> claimed_crc;
    std::size_t damaged_at;  // a stored byte changed in the archive; 0 for none
    bool mismatch;
  };
  const Case cases[] = {
      {"stored, right", false, std::nullopt, 0, false},
      {"deflated, right", true, std::nullopt, 0, false},
      {"stored, wrong checksum", false, crc ^ 0x00010000u, 0, true},
      {"deflated, wrong checksum", true, crc + 1, 0, true},
      {"stored, one byte changed", false, std::nullopt, 30 + 5 + 77777, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipItem item("a.log", text, c.deflate);
    item.claimed_crc = c.claimed_crc;
    std::string zip = MakeZip({item, {"empty.log", "", true}});
    if (c.damaged_at) zip[c.damaged_at] ^= 0x20;
    MemoryInput input(zip);
    ZipArchive archive(input);
    std::string error;
    ASSERT_TRUE(archive.Open(error)) << error;
    for (std::size_t piece : {std::size_t{1000}, std::size_t{1} << 20}) {
      Read read = ReadEntry(archive, 0, piece);
      EXPECT_EQ(read.bytes.size(), text.size());
      EXPECT_EQ(read.problem.find("CRC-32") != std::string::npos, c.mismatch) << read.problem;
    }
    EXPECT_EQ(ReadEntry(archive, 1).problem, "");
  }
}

// A comment may hold bytes that look like an end record: the real one is
// the record whose comment reaches the end of the file exactly.
TEST(ZipArchive, AnEndRecordInTheCommentIsNotTakenForTheRealOne) {
  const std::string text = Text(5000);
  // A look-alike whose directory lies far outside the archive.
  auto fake = [](uint16_t comment_size) {
    std::string record("PK\x05\x06\0\0\0\0\x01\0\x01\0\x2e\0\0\0\0\0\0\x7f", 20);
    record += static_cast<char>(comment_size & 0xFF);
    record += static_cast<char>(comment_size >> 8);
    return record;
  };
  const std::string comments[] = {
      "made by hand",
      fake(0),                         // the look-alike itself reaches the end exactly
      fake(0) + "and more",            // the look-alike's comment would be cut
      "before " + fake(6) + "after!",  // the look-alike reaches the end too
      fake(40000),
  };
  for (bool zip64 : {false, true}) {
    for (const std::string& comment : comments) {
      SCOPED_TRACE(::testing::PrintToString(comment) + (zip64 ? " zip64" : ""));
      std::string zip = MakeZip({{"a.log", text, true}}, zip64, comment);
      MemoryInput input(zip);
      ZipArchive archive(input);
      std::string error;
      ASSERT_TRUE(archive.Open(error)) << error;
      ASSERT_EQ(archive.entries().size(), 1u);
      EXPECT_TRUE(ReadEntry(archive, 0).bytes == text);
    }
  }
}

}  // namespace
}  // namespace triage
