#include "judgement.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "attempt_order.h"
#include "rules/catalogue.h"
#include "rules/codes.h"
#include "rules/knowledge.h"
#include "rules/text.h"
#include "summary.h"

namespace triage {
namespace {

// Installer and device-setup failures this close are very likely one event
// (the installer installs the driver).
constexpr int64_t kLinkSeconds = 10 * 60;

Finding History(const Attempt& attempt, const Finding* deciding) {
  Finding finding = MakeFinding("history.earlier-failure", attempt.file);
  finding.line = attempt.line;
  finding.code = attempt.code;
  finding.time = attempt.time;
  finding.where = attempt.where;
  if (deciding != nullptr) {
    finding.context = deciding->context;
    if (finding.line == 0) finding.line = deciding->line;
  }
  const Operation operation =
      attempt.operation == Operation::Unknown ? Operation::Install : attempt.operation;
  std::string product = attempt.product;
  if (!product.empty()) Append(product, attempt.version);
  std::string& message = finding.message;
  message = Say("history.earlier-failure");
  Append(message, WhenText(attempt.time));
  Append(message, Say("history.earlier-failure.to",
                      {{"operation", OperationName(operation)}, {"product", product}}));
  if (attempt.outcome == Result::Cancelled) {
    Append(message, Say("history.earlier-failure.cancelled"));
  } else {
    Append(message, Say("history.earlier-failure.failed"));
    if (!attempt.where.empty())
      Append(message, Say("history.earlier-failure.in", {{"where", attempt.where}}));
    if (!attempt.reason.empty()) {
      Append(message, Say("history.earlier-failure.cause", {{"cause", attempt.reason}}));
    } else if (attempt.code) {
      Append(message,
             Say("history.earlier-failure.code", {{"code", ExplainInstallerCode(*attempt.code)}}));
    }
  }
  Append(message, Say("history.earlier-failure.newer"));
  return finding;
}

bool IsInstallerFailure(const Finding& finding) {
  return finding.severity == Severity::Error &&
         (StartsWith(finding.rule, "msi.") || StartsWith(finding.rule, "burn."));
}
bool IsSetupFailure(const Finding& finding) {
  return finding.severity == Severity::Error && StartsWith(finding.rule, "setupapi.");
}

// The file name a logged path ends in.
std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A failed bundle package's own log: read when it was collected, asked for
// when it was not. The bundle's packages are the attempts placed in it (by
// the logs' clocks, never by names); the failed one's log, when read, holds
// the cause, and the package's finding in the bundle log is its consequence.
const FileAnswer* PackageLog(const std::vector<FileAnswer>& files, const AttemptOrder& attempts,
                             int bundle, std::string_view wanted) {
  const FileAnswer* failed = nullptr;
  for (const Placed& placed : attempts.order) {
    if (placed.parent != bundle || placed.attempt->outcome != Result::Failed) continue;
    const FileAnswer& file = files[placed.file];
    if (EqualsNoCase(BaseName(file.name), wanted)) return &file;
    if (failed == nullptr) failed = &file;
  }
  return failed;
}

void FollowPackageLogs(std::vector<FileAnswer>& files, AttemptOrder& attempts) {
  for (std::size_t f = 0; f < files.size(); ++f) {
    for (Finding& finding : files[f].result.findings) {
      if (finding.package_log.empty() || finding.attempt < 0) continue;
      const int bundle = attempts.Position(f, finding.attempt);
      const std::string_view wanted = BaseName(finding.package_log);
      const FileAnswer* collected =
          bundle < 0 ? nullptr : PackageLog(files, attempts, bundle, wanted);
      const Facts facts{{"log", collected ? collected->name : std::string(wanted)}};
      const Explanation said =
          ExplainRule(collected ? "burn.package-log-collected" : "burn.package-log-missing", facts);
      Append(finding.message, said.meaning);
      Append(finding.remedy, said.remedy);
      if (collected == nullptr) continue;
      if (finding.severity == Severity::Error) finding.severity = Severity::Warning;
      // The bundle failed because its package did: the package's cause is the bundle's.
      const std::vector<Attempt>& own = collected->result.attempts;
      if (own.empty() || own.back().reason.empty()) continue;
      Attempt& failed = files[f].result.attempts[static_cast<std::size_t>(finding.attempt)];
      failed.reason = own.back().reason;
      if (!own.back().where.empty()) failed.where += ", " + own.back().where;
      if (bundle == attempts.newest && attempts.newest_attempt) {
        attempts.newest_attempt->reason = failed.reason;
        attempts.newest_attempt->where = failed.where;
      }
    }
  }
}

// Each failure is linked to the nearest failure of the other kind.
void LinkFailures(std::vector<Finding>& findings) {
  std::vector<std::string> notes(findings.size());
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const Finding& failure = findings[i];
    if (!failure.time) continue;
    const bool installer = IsInstallerFailure(failure);
    if (!installer && !IsSetupFailure(failure)) continue;
    const Finding* nearest = nullptr;
    int64_t nearest_gap = 0;
    for (const Finding& other : findings) {
      if (!other.time || !(installer ? IsSetupFailure(other) : IsInstallerFailure(other))) continue;
      const int64_t gap = std::llabs(*other.time - *failure.time);
      if (gap > kLinkSeconds || (nearest != nullptr && gap >= nearest_gap)) continue;
      nearest = &other;
      nearest_gap = gap;
    }
    if (nearest == nullptr) continue;
    notes[i] = SayCounted(installer ? "link.setup" : "link.installer", nearest_gap,
                          {{"place", nearest->file + ":" + std::to_string(nearest->line)}});
  }
  for (std::size_t i = 0; i < findings.size(); ++i) Append(findings[i].message, notes[i]);
}

// Findings weighed against the attempts: the newest attempt's stand; an
// older attempt's give way to one history warning; a Velmora driver failure
// counts when it came after the newest attempt began. Each finding is
// ranked among those of its severity with its attempt, in time order, then
// by its file's kind: never by file names.
class Weighing {
 public:
  Weighing(const AttemptOrder& attempts, std::vector<Finding>& findings)
      : attempts_(attempts), findings_(findings), deciding_(attempts.order.size(), nullptr) {}

  void File(std::size_t file, int kind, FileResult& result) {
    const Attempt* newest = attempts_.newest_attempt ? &*attempts_.newest_attempt : nullptr;
    for (Finding& finding : result.findings) {
      std::size_t rank = attempts_.order.size() + static_cast<std::size_t>(kind);
      if (finding.attempt >= 0) {
        const int at = attempts_.Position(file, finding.attempt);
        rank = static_cast<std::size_t>(std::max(at, 0));
        if (finding.severity == Severity::Error && at >= 0 && deciding_[at] == nullptr) {
          deciding_[at] = &finding;
        }
        if (!attempts_.Current(at)) continue;
        // A package's failure in a bundle that went on and succeeded.
        if (at != attempts_.newest && newest->outcome == Result::Succeeded &&
            finding.severity == Severity::Error) {
          finding.severity = Severity::Warning;
        }
      } else if (finding.velmora_driver) {
        const bool current =
            newest == nullptr || !newest->time || !finding.time || *finding.time >= *newest->time;
        finding.severity = current ? Severity::Error : Severity::Warning;
        if (!current) {
          std::string before = Say("setupapi.before-newest");
          Append(before, finding.message);
          finding.message = std::move(before);
        }
      }
      Add(finding, rank);
      if (finding.velmora_driver && finding.severity == Severity::Error && !driver_failure_) {
        driver_failure_ = findings_.size() - 1;
      }
    }
  }

  void History() {
    for (std::size_t i = 0; i < attempts_.order.size(); ++i) {
      const Placed& placed = attempts_.order[i];
      if (static_cast<int>(i) == attempts_.newest || placed.parent >= 0) continue;
      const Result outcome = placed.attempt->outcome;
      if (outcome == Result::Failed || outcome == Result::Cancelled) {
        Add(triage::History(*placed.attempt, deciding_[i]), i);
      }
    }
  }

  void Add(Finding finding, std::size_t rank) {
    findings_.push_back(std::move(finding));
    ranks_.push_back(rank);
  }

  // Errors first, then warnings, then notes, each by rank.
  void Arrange() {
    std::vector<std::size_t> by(findings_.size());
    for (std::size_t i = 0; i < by.size(); ++i) by[i] = i;
    std::stable_sort(by.begin(), by.end(), [&](std::size_t a, std::size_t b) {
      const int severity_a = static_cast<int>(findings_[a].severity);
      const int severity_b = static_cast<int>(findings_[b].severity);
      return severity_a != severity_b ? severity_a < severity_b : ranks_[a] < ranks_[b];
    });
    std::vector<Finding> ordered;
    ordered.reserve(findings_.size());
    for (const std::size_t i : by) ordered.push_back(std::move(findings_[i]));
    findings_ = std::move(ordered);
  }

  const Finding* driver_failure() const {
    return driver_failure_ ? &findings_[*driver_failure_] : nullptr;
  }

 private:
  const AttemptOrder& attempts_;
  std::vector<Finding>& findings_;
  std::vector<std::size_t> ranks_;
  std::vector<const Finding*> deciding_;  // each attempt's first error
  std::optional<std::size_t> driver_failure_;
};

constexpr std::size_t kLast = std::numeric_limits<std::size_t>::max();

Verdict VerdictOf(const Attempt* newest, bool driver_failed) {
  if (driver_failed) return Verdict::Failed;
  if (newest == nullptr) return Verdict::Unknown;
  switch (newest->outcome) {
    case Result::Failed:
    case Result::Cancelled:
      return Verdict::Failed;
    case Result::Succeeded:
      return Verdict::Succeeded;
    case Result::Unknown:
      break;
  }
  return Verdict::Unknown;
}

// The newest attempt's product, else the newest one named, else the
// applications list's.
std::optional<Product> ProductOf(const AttemptOrder& attempts,
                                 const std::optional<std::vector<Product>>& listed) {
  if (attempts.newest_attempt && !attempts.newest_attempt->product.empty()) {
    return Product{attempts.newest_attempt->product, attempts.newest_attempt->version};
  }
  for (auto it = attempts.order.rbegin(); it != attempts.order.rend(); ++it) {
    if (!it->attempt->product.empty()) return Product{it->attempt->product, it->attempt->version};
  }
  if (listed && !listed->empty()) return listed->front();
  return std::nullopt;
}

}  // namespace

Outcome Judge(std::string source, std::vector<FileAnswer> files, std::vector<Finding> notes,
              std::size_t files_read) {
  Outcome outcome;
  outcome.source = std::move(source);
  outcome.files_read = files_read;
  AttemptOrder attempts = OrderAttempts(files);
  FollowPackageLogs(files, attempts);
  for (const Placed& placed : attempts.order) outcome.attempts.push_back(*placed.attempt);

  Weighing weighing(attempts, outcome.findings);
  std::optional<std::vector<Product>> listed;
  for (std::size_t f = 0; f < files.size(); ++f) {
    FileResult& result = files[f].result;
    if (result.system && !outcome.system) outcome.system = result.system;
    if (result.installed) {
      if (!listed) listed.emplace();
      listed->insert(listed->end(), result.installed->begin(), result.installed->end());
    }
    weighing.File(f, files[f].kind, result);
  }
  weighing.History();
  for (Finding& note : notes) weighing.Add(std::move(note), kLast);
  LinkFailures(outcome.findings);

  const Attempt* newest = attempts.newest_attempt ? &*attempts.newest_attempt : nullptr;
  outcome.verdict = VerdictOf(newest, weighing.driver_failure() != nullptr);
  outcome.product = ProductOf(attempts, listed);

  const bool matched =
      !attempts.order.empty() ||
      std::any_of(outcome.findings.begin(), outcome.findings.end(), [](const Finding& finding) {
        return finding.severity != Severity::Info && !StartsWith(finding.rule, "input.");
      });
  if (!matched) {
    Finding finding = MakeFinding("triage.no-rule-matched", "");
    finding.message = SayCounted("triage.no-rule-matched", static_cast<int64_t>(files_read));
    weighing.Add(std::move(finding), kLast);
  }
  weighing.Arrange();
  // Errors come first, the newest attempt's cause before its consequences.
  if (outcome.verdict == Verdict::Failed && ErrorFound(outcome)) outcome.deciding = 0;

  // The summary names the decision just made: the deciding finding's cause.
  SummaryFacts facts;
  facts.newest = newest;
  for (const Placed& placed : attempts.order) facts.attempts.push_back(placed.attempt);
  for (const Finding& finding : outcome.findings) {
    if (finding.velmora_driver && finding.severity == Severity::Error) {
      facts.driver_failure = &finding;
      break;
    }
  }
  if (outcome.deciding) facts.deciding = &outcome.findings[*outcome.deciding];
  facts.listed = listed;
  outcome.summary = Summarise(facts);
  return outcome;
}

}  // namespace triage
