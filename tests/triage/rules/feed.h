// A reader fed as the program feeds it: text through the pump, its lines
// numbered from 1, evidence kept with the lines around it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "rules/reader.h"

namespace triage::test {

FileResult ReadText(Reader& reader, std::string_view text);
// A fixture case's file as kept: "case/file name".
std::string Fixture(const std::string& relative);

std::vector<const Finding*> WithRule(const FileResult& result, std::string_view rule);
// The one finding of `rule`; fails the test (and returns null) unless there
// is exactly one.
const Finding* Only(const FileResult& result, std::string_view rule);

bool Has(std::string_view text, std::string_view part);

}  // namespace triage::test
