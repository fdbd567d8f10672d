// What the input saw of a collection that the engineer should know: told
// as facts here; the rules make them findings (input_findings.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace triage {

enum class InputProblemKind {
  UnsafeNames,         // archive names pointing outside its folder, read as names only
  NestedArchives,      // archives inside the collection, not opened
  SubfolderFiles,      // files of an archive's subfolders, not read
  Subfolders,          // a folder's subfolders, not read
  Links,               // a folder's links, never followed
  OverlappingEntries,  // archive entries pointing into another entry's bytes
};

struct InputProblem {
  InputProblemKind kind = InputProblemKind::UnsafeNames;
  std::size_t count = 0;
  // The names concerned, the first first: the links all sorted; for
  // overlapping entries the first dropped one and the entry it points into.
  std::vector<std::string> names;
};

}  // namespace triage
