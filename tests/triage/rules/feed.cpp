#include "feed.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "input/byte_stream.h"
#include "pump.h"

namespace triage::test {

FileResult ReadText(Reader& reader, std::string_view text) {
  MemoryInput input(text);
  BatchStore store(1 << 16);
  return Pump(input, reader, "file", 64 * 1024, store).result;
}

std::string Fixture(const std::string& relative) {
  std::ifstream in(std::string(TRIAGE_FIXTURES) + "/" + relative, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing fixture " << relative;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<const Finding*> WithRule(const FileResult& result, std::string_view rule) {
  std::vector<const Finding*> found;
  for (const Finding& finding : result.findings) {
    if (finding.rule == rule) found.push_back(&finding);
  }
  return found;
}

const Finding* Only(const FileResult& result, std::string_view rule) {
  const auto found = WithRule(result, rule);
  if (found.size() == 1) return found[0];
  std::string rules;
  for (const Finding& finding : result.findings) rules += " " + finding.rule;
  ADD_FAILURE() << found.size() << " findings of " << rule << "; all:" << rules;
  return nullptr;
}

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace triage::test
