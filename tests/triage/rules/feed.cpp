#include "feed.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace triage::test {

std::string ReadFixture(const std::string& relative) {
  std::ifstream in(std::string(TRIAGE_FIXTURES) + "/" + relative, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing fixture " << relative;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  uint64_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(++number, line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::string FixtureLine(const std::string& relative, uint64_t number) {
  std::string found;
  ForEachLine(ReadFixture(relative), [&](uint64_t at, std::string_view line) {
    if (at == number) found = std::string(line);
  });
  return found;
}

void FeedText(LineReader& reader, std::string_view text, Report& report) {
  ForEachLine(text, [&](uint64_t number, std::string_view line) { reader.Line(number, line); });
  reader.End(report);
}

void FeedFixture(LineReader& reader, const std::string& relative, Report& report) {
  const std::string text = ReadFixture(relative);
  ASSERT_FALSE(text.empty()) << relative;
  FeedText(reader, text, report);
}

std::vector<const Finding*> WithRule(const Report& report, std::string_view rule) {
  std::vector<const Finding*> found;
  for (const Finding& finding : report.findings) {
    if (finding.rule == rule) found.push_back(&finding);
  }
  return found;
}

const Finding* Only(const Report& report, std::string_view rule) {
  const auto found = WithRule(report, rule);
  if (found.size() == 1) return found[0];
  std::string rules;
  for (const Finding& finding : report.findings) rules += " " + finding.rule;
  ADD_FAILURE() << found.size() << " findings of " << rule << "; all:" << rules;
  return nullptr;
}

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace triage::test
