#include "input_findings.h"

#include "rules/catalogue.h"
#include "rules/knowledge.h"

namespace triage {

namespace {

// Up to five links by name, then how many more.
std::string NamedLinks(const std::vector<std::string>& links) {
  constexpr std::size_t kNamed = 5;
  std::string names;
  for (std::size_t i = 0; i < links.size() && i < kNamed; ++i) {
    names += (i > 0 ? ", \"" : "\"") + links[i] + "\"";
  }
  if (links.size() > kNamed) {
    Append(names, Say("input.links.more", {{"count", std::to_string(links.size() - kNamed)}}));
  }
  return names;
}

// The rule each problem is told under, and its text's name in the catalogue.
struct Wording {
  const char* rule;
  const char* text;
};

Wording WordingOf(InputProblemKind kind) {
  switch (kind) {
    case InputProblemKind::UnsafeNames:
      return {"input.unsafe-name", "input.unsafe-name"};
    case InputProblemKind::NestedArchives:
      return {"input.nested-archive", "input.nested-archive"};
    case InputProblemKind::SubfolderFiles:
      return {"input.subfolder-files", "input.subfolder-files"};
    case InputProblemKind::Subfolders:
      return {"input.subfolder-files", "input.subfolders"};
    case InputProblemKind::Links:
      return {"input.link", "input.link"};
    case InputProblemKind::OverlappingEntries:
      return {"input.overlapping-entries", "input.overlapping-entries"};
  }
  return {"input.unsafe-name", "input.unsafe-name"};
}

}  // namespace

Finding InputFinding(const InputProblem& problem) {
  const Wording wording = WordingOf(problem.kind);
  const std::string first = problem.names.empty() ? std::string() : problem.names.front();
  Facts facts = {{"name", first},
                 {"other", problem.names.size() > 1 ? problem.names[1] : std::string()},
                 {"names", NamedLinks(problem.names)}};
  return MakeFinding(wording.rule, first,
                     SayCounted(wording.text, static_cast<int64_t>(problem.count), facts));
}

}  // namespace triage
