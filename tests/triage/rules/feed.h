// Feeding fixtures to the readers as the program does: line by line,
// without line ends, numbered from 1.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace triage::test {

// A fixture's whole text; `relative` is "case/file name".
std::string ReadFixture(const std::string& relative);
// Line `number` (1-based) of a fixture, without its line end.
std::string FixtureLine(const std::string& relative, uint64_t number);

void FeedText(LineReader& reader, std::string_view text, Report& report);
void FeedFixture(LineReader& reader, const std::string& relative, Report& report);

std::vector<const Finding*> WithRule(const Report& report, std::string_view rule);
// The one finding of `rule`; fails the test (and returns null) unless there
// is exactly one.
const Finding* Only(const Report& report, std::string_view rule);

bool Has(std::string_view text, std::string_view part);

}  // namespace triage::test
