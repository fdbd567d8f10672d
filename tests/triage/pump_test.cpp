// The pump keeps each line a reader points at with the lines before and
// after it, so that a finding's line and its context always agree; a
// handle a reader reuses keeps only its latest line.
#include <gtest/gtest.h>

#include "input/byte_stream.h"
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
      moved.also = {{1, "line 1"}, {5, "line 5"}};  // lines further up, one already in context
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

TEST(Pump, EvidenceComesWithTheLinesAroundIt) {
  std::string text;
  for (int i = 1; i <= 10; ++i) text += "line " + std::to_string(i) + "\r\n";
  MemoryInput input(text);
  std::vector<char> buffer(7);  // lines split across reads
  Keeper keeper({6, 1, 10, 9}, {3, 7});
  const Pumped pumped = Pump(input, keeper, "log", 1024, buffer);
  const auto& findings = pumped.result.findings;
  ASSERT_EQ(findings.size(), 5u);
  const std::vector<std::pair<uint64_t, std::vector<uint64_t>>> expected = {
      {1, {1, 2, 3}},              // nothing before the first line
      {6, {2, 3, 4, 5, 6, 7, 8}},  // four before, two after
      {9, {5, 6, 7, 8, 9, 10}},    // the file ends one line after
      {10, {6, 7, 8, 9, 10}},
      {7, {1, 3, 4, 5, 6, 7, 8, 9}},  // the reused handle: its latest line, with the lines above
  };
  std::vector<std::pair<uint64_t, std::vector<uint64_t>>> got;
  for (const Finding& finding : findings) got.emplace_back(finding.line, Numbers(finding));
  std::sort(got.begin(), got.end() - 1);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(pumped.result.attempts.at(0).line, 7u);
  EXPECT_EQ(pumped.bytes, text.size());
}

}  // namespace
}  // namespace triage
