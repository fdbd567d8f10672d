#include "input_findings.h"

#include "rules/catalogue.h"

namespace triage {

namespace {

// Up to five links by name, then how many more.
std::string NamedLinks(const std::vector<std::string>& links) {
  constexpr std::size_t kNamed = 5;
  std::string names;
  for (std::size_t i = 0; i < links.size() && i < kNamed; ++i) {
    names += (i > 0 ? ", \"" : "\"") + links[i] + "\"";
  }
  if (links.size() > kNamed) names += " and " + std::to_string(links.size() - kNamed) + " more";
  return names;
}

// A finding that counts what it names first: `count` + `before` + the name + `after`.
struct Wording {
  const char* rule;
  const char* before;
  const char* after;
};

Finding CountedFinding(const Wording& wording, const std::string& count, const std::string& first) {
  return MakeFinding(wording.rule, first, count + wording.before + first + wording.after);
}

constexpr Wording kUnsafeNames = {"input.unsafe-name",
                                  " name(s) in the archive point outside its folder (\"",
                                  "\"); they were read as names only, nothing was extracted"};
constexpr Wording kNestedArchives = {"input.nested-archive", " archive(s) inside were not read (\"",
                                     "\"); a collected folder holds plain files"};
constexpr Wording kSubfolderFiles = {"input.subfolder-files",
                                     " file(s) in subfolders were not read (\"",
                                     "\"); a collected folder holds its files at its top"};
constexpr Wording kSubfolders = {"input.subfolder-files", " subfolder(s) were not read (\"",
                                 "\"); a collected folder holds its files at its top"};

}  // namespace

Finding InputFinding(const InputProblem& problem) {
  const std::string count = std::to_string(problem.count);
  const std::string first = problem.names.empty() ? std::string() : problem.names.front();
  const bool one = problem.count == 1;
  switch (problem.kind) {
    case InputProblemKind::UnsafeNames:
      return CountedFinding(kUnsafeNames, count, first);
    case InputProblemKind::NestedArchives:
      return CountedFinding(kNestedArchives, count, first);
    case InputProblemKind::SubfolderFiles:
      return CountedFinding(kSubfolderFiles, count, first);
    case InputProblemKind::Subfolders:
      return CountedFinding(kSubfolders, count, first);
    case InputProblemKind::Links:
      return MakeFinding("input.link", first,
                         count + (one ? " link" : " links") + " in the folder " +
                             (one ? "was" : "were") + " not followed (" +
                             NamedLinks(problem.names) +
                             "): a link may lead anywhere on this machine, so only files that "
                             "are really in the folder are read");
    case InputProblemKind::OverlappingEntries: {
      const std::string with = problem.names.size() > 1 ? problem.names[1] : std::string();
      return MakeFinding("input.overlapping-entries", first,
                         count + (one ? " entry" : " entries") +
                             " of the archive point into another entry's bytes (\"" + first +
                             "\" into \"" + with +
                             "\"); those bytes were read once, as the first entry only");
    }
  }
  return {};
}

}  // namespace triage
