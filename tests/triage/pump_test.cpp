// The pump keeps each line a reader points at with the lines before and
// after it, so that a finding's line and its context always agree; a
// handle a reader reuses keeps only its latest line.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "input/byte_stream.h"
#include "input/line_batches.h"
#include "pump.h"

namespace triage {
namespace {

// Keeps the lines it is told to, each as a finding; lines in `moved` reuse
// one handle, as a reader moving its candidate does.
class Keeper : public Reader {
 public:
  Keeper(std::vector<uint64_t> kept, std::vector<uint64_t> moved)
      : kept_(std::move(kept)), moved_(std::move(moved)) {}
  void Line(uint64_t number, std::string_view, EvidenceKeeper& evidence) override {
    for (uint64_t line : kept_) {
      if (line == number) ids_.push_back(evidence.Keep());
    }
    for (uint64_t line : moved_) {
      if (line == number) moving_ = evidence.Keep(moving_);
    }
  }
  FileResult End() override {
    FileResult result;
    for (EvidenceId id : ids_) result.findings.emplace_back().evidence = id;
    if (moving_ != kNoEvidence) {
      Finding& moved = result.findings.emplace_back();
      moved.evidence = moving_;
      moved.also = {{991, "line 991"}, {995, "line 995"}};  // further up, one already in context
      result.attempts.emplace_back().evidence = moving_;
    }
    return result;
  }

 private:
  std::vector<uint64_t> kept_, moved_;
  std::vector<EvidenceId> ids_;
  EvidenceId moving_ = kNoEvidence;
};

std::vector<uint64_t> Numbers(const Finding& finding) {
  std::vector<uint64_t> numbers;
  for (const EvidenceLine& line : finding.context) {
    EXPECT_EQ(line.text, "line " + std::to_string(line.number));
    numbers.push_back(line.number);
  }
  return numbers;
}

// Windows of a few bytes split lines across batches (of 7 bytes, every
// line); a threshold of 0 reads on the second thread from the first byte.
struct Reading {
  std::size_t window;
  uint64_t inline_bytes;
};
constexpr Reading kReadings[] = {
    {7, kInlineBytes}, {23, kInlineBytes}, {23, 0}, {BatchStore::kWindow, 0}};

TEST(Pump, EvidenceComesWithTheLinesAroundIt) {
  // A thousand lines: past the bytes the decoder holds to choose the
  // encoding, so that the lines around the evidence come in other batches.
  std::string text;
  for (int i = 1; i <= 1000; ++i) text += "line " + std::to_string(i) + "\r\n";
  for (const Reading& reading : kReadings) {
    SCOPED_TRACE(reading.window);
    MemoryInput input(text);
    BatchStore store(reading.window);
    Keeper keeper({996, 1, 1000, 999}, {993, 994, 997});
    const Pumped pumped = Pump(input, keeper, "log", 1024, store, reading.inline_bytes);
    const auto& findings = pumped.result.findings;
    ASSERT_EQ(findings.size(), 5u);
    const std::vector<std::pair<uint64_t, std::vector<uint64_t>>> expected = {
        {1, {1, 2, 3}},                              // nothing before the first line
        {996, {992, 993, 994, 995, 996, 997, 998}},  // four before, two after
        {999, {995, 996, 997, 998, 999, 1000}},      // the file ends one line after
        {1000, {996, 997, 998, 999, 1000}},
        // the reused handle: its latest line, with the lines above
        {997, {991, 993, 994, 995, 996, 997, 998, 999}},
    };
    std::vector<std::pair<uint64_t, std::vector<uint64_t>>> got;
    for (const Finding& finding : findings) got.emplace_back(finding.line, Numbers(finding));
    std::sort(got.begin(), got.end() - 1);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(pumped.result.attempts.at(0).line, 997u);
    EXPECT_EQ(pumped.bytes, text.size());
  }
}

// A reader that has what it needs stops the reading, on either thread, and
// one that fails on a line stops it too: what it found before stands, and a
// finding says where the reading stopped (the whole file was dropped before).
class Stopper : public Reader {
 public:
  explicit Stopper(bool throws) : throws_(throws) {}
  void Line(uint64_t number, std::string_view, EvidenceKeeper&) override {
    last_ = number;
    if (number == 3 && throws_) throw std::runtime_error("reader failed");
  }
  bool WantsMore() const override { return last_ < 3; }
  FileResult End() override {
    FileResult result;
    result.attempts.emplace_back();
    return result;
  }
  uint64_t last_ = 0;

 private:
  bool throws_;
};

TEST(Pump, StopsWhenTheReaderIsDoneOrFails) {
  const std::string text(8 << 20, '\n');
  for (const Reading& reading : kReadings) {
    SCOPED_TRACE(reading.window);
    MemoryInput input(text);
    BatchStore store(reading.window);
    Stopper done(false);
    const Pumped pumped = Pump(input, done, "log", 1024, store, reading.inline_bytes);
    EXPECT_EQ(done.last_, 3u);
    EXPECT_LT(pumped.bytes, text.size() / 2);

    MemoryInput again(text);
    Stopper failing(true);
    const Pumped cut = Pump(again, failing, "log", 1024, store, reading.inline_bytes);
    EXPECT_EQ(cut.result.attempts.size(), 1u);
    ASSERT_EQ(cut.input.size(), 1u);
    EXPECT_EQ(cut.input[0].rule, "input.reader-failed");
    EXPECT_EQ(cut.input[0].line, 3u);
    EXPECT_NE(cut.input[0].message.find("reader failed"), std::string::npos);
  }
}

// The hash of a stream is the same however its bytes come, and tells
// apart streams that differ in one byte, in the order of their words, or
// only in a tail shorter than a block.
TEST(ByteHash, DependsOnTheBytesAloneNotOnTheirPieces) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>((i * 37 + i / 7) & 0xFF);
  auto hash = [](std::string_view data, std::size_t piece) {
    ByteHash h;
    for (std::size_t at = 0; at < data.size(); at += piece) {
      h.Add(data.data() + at, std::min(piece, data.size() - at));
    }
    return h.Value();
  };
  const uint64_t whole = hash(bytes, bytes.size());
  for (const std::size_t piece : {1, 3, 7, 8, 31, 32, 33, 100}) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(hash(bytes, piece), whole);
  }
  std::string swapped = bytes;  // two words of one block change places
  std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 8);
  std::string lanes = bytes;  // the same word in two blocks' same lane
  std::swap_ranges(lanes.begin(), lanes.begin() + 8, lanes.begin() + 32);
  std::string tail = bytes;
  tail.back() ^= 1;
  std::string middle = bytes;
  middle[500] ^= 0x80;
  const uint64_t others[] = {hash(swapped, 5),
                             hash(lanes, 5),
                             hash(tail, 5),
                             hash(middle, 5),
                             hash(bytes.substr(0, 999), 5),
                             hash(bytes + '\0', 5),
                             hash(std::string(1000, '\0'), 5),
                             hash(std::string(1001, '\0'), 5)};
  for (const uint64_t other : others) EXPECT_NE(other, whole);
  EXPECT_NE(others[6], others[7]);  // zeros hash by their count
}

}  // namespace
}  // namespace triage
