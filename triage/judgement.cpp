#include "judgement.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "rules/catalogue.h"
#include "rules/codes.h"
#include "rules/text.h"
#include "summary.h"

namespace triage {
namespace {

// Installer and device-setup failures this close are very likely one event
// (the installer installs the driver).
constexpr int64_t kLinkSeconds = 10 * 60;

struct Placed {
  const Attempt* attempt = nullptr;
  std::size_t file = 0;
  int index = 0;  // within its file's result
  uint32_t identity = 0;
  int parent = -1;  // the bundle it ran in, by position in the order
};

// Time order; attempts no clock places come first, so that any attempt
// with a time is newer. A bundle comes before the packages it starts in the
// same second; the rest is settled by the files' bytes, never their names.
bool Before(const Placed& a, const Placed& b) {
  const Attempt& x = *a.attempt;
  const Attempt& y = *b.attempt;
  if (x.time.has_value() != y.time.has_value()) return !x.time.has_value();
  if (x.time != y.time) return *x.time < *y.time;
  if (x.bundle != y.bundle) return x.bundle;
  if (a.identity != b.identity) return a.identity < b.identity;
  return a.index < b.index;
}

std::string When(const std::optional<int64_t>& time) {
  if (!time) return "";
  const std::string iso = IsoTime(*time);
  return " on " + iso.substr(0, 10) + " at " + iso.substr(11, 5);
}

Finding History(const Attempt& attempt, const Finding* deciding) {
  Finding finding = MakeFinding("history.earlier-failure", attempt.file);
  finding.line = attempt.line;
  finding.code = attempt.code;
  finding.time = attempt.time;
  if (deciding != nullptr) {
    finding.context = deciding->context;
    if (finding.line == 0) finding.line = deciding->line;
  }
  std::string what = std::string(OperationName(attempt.operation));
  if (attempt.operation == Operation::Unknown) what = "install";
  std::string product = attempt.product.empty() ? "the package" : attempt.product;
  if (!attempt.version.empty()) product += " " + attempt.version;
  finding.message = "An earlier attempt" + When(attempt.time) + " to " + what + " " + product;
  if (attempt.outcome == Result::Cancelled) {
    finding.message += " was cancelled by the user";
  } else {
    finding.message += " failed";
    if (!attempt.where.empty()) finding.message += " in " + attempt.where;
    if (attempt.code) finding.message += " with " + ExplainInstallerCode(*attempt.code);
  }
  finding.message += "; a newer attempt followed, and the verdict is that one's.";
  return finding;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.empty() || b.empty() || EqualsNoCase(a, b);
}

bool IsInstallerFailure(const Finding& finding) {
  return finding.severity == Severity::Error &&
         (StartsWith(finding.rule, "msi.") || StartsWith(finding.rule, "burn."));
}
bool IsSetupFailure(const Finding& finding) {
  return finding.severity == Severity::Error && StartsWith(finding.rule, "setupapi.");
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
    notes[i] =
        std::string(installer ? " The device-setup failure at " : " The installer failure at ") +
        nearest->file + ":" + std::to_string(nearest->line) + " happened " +
        Counted(nearest_gap, "second") + " apart: they are likely the same problem.";
  }
  for (std::size_t i = 0; i < findings.size(); ++i) findings[i].message += notes[i];
}

// A clock that shows the hour modulo 12 is put in the half of the day that
// brings the log's last time nearest the file's own time (the log was
// written until then).
void SettleHalfDay(FileAnswer& file) {
  if (!file.modified) return;
  for (std::size_t a = 0; a < file.result.attempts.size(); ++a) {
    Attempt& attempt = file.result.attempts[a];
    if (!attempt.twelve_hour || !attempt.time) continue;
    const int64_t last = attempt.end.value_or(*attempt.time);
    const int64_t shift = 12 * 3600;
    // A file time half a day or more from either is no witness.
    const int64_t morning = std::llabs(*file.modified - last);
    const int64_t afternoon = std::llabs(*file.modified - (last + shift));
    if (afternoon >= morning || afternoon > shift / 2) continue;
    *attempt.time += shift;
    if (attempt.end) *attempt.end += shift;
    for (Finding& finding : file.result.findings) {
      if (finding.attempt == static_cast<int>(a) && finding.time) *finding.time += shift;
    }
  }
}

}  // namespace

Outcome Judge(std::string source, std::vector<FileAnswer> files, std::vector<Finding> notes,
              std::size_t files_read) {
  for (FileAnswer& file : files) SettleHalfDay(file);
  Outcome outcome;
  outcome.source = std::move(source);
  outcome.files_read = files_read;

  // Every attempt in time order, each package placed in the bundle it ran in.
  std::vector<Placed> order;
  for (std::size_t f = 0; f < files.size(); ++f) {
    const auto& attempts = files[f].result.attempts;
    for (std::size_t a = 0; a < attempts.size(); ++a) {
      order.push_back({&attempts[a], f, static_cast<int>(a), files[f].identity, -1});
    }
  }
  std::stable_sort(order.begin(), order.end(), Before);
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Attempt& attempt = *order[i].attempt;
    if (attempt.bundle || !attempt.time) continue;
    for (std::size_t b = 0; b < i; ++b) {
      const Attempt& bundle = *order[b].attempt;
      if (bundle.bundle && bundle.time && bundle.end && *bundle.time <= *attempt.time &&
          *attempt.time <= *bundle.end) {
        order[i].parent = static_cast<int>(b);
      }
    }
  }
  int newest = -1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i].parent < 0) newest = static_cast<int>(i);
  }
  const auto position = [&](std::size_t file, int index) {
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (order[i].file == file && order[i].index == index) return static_cast<int>(i);
    }
    return -1;
  };
  // A bundle that names no version of its own installs its packages' version.
  std::optional<Attempt> newest_copy;
  if (newest >= 0) {
    newest_copy = *order[newest].attempt;
    for (const Placed& placed : order) {
      if (newest_copy->version.empty() && placed.parent == newest &&
          SameName(placed.attempt->product, newest_copy->product)) {
        newest_copy->version = placed.attempt->version;
      }
    }
  }
  const Attempt* newest_attempt = newest_copy ? &*newest_copy : nullptr;

  // Findings: the newest attempt's stand; older attempts become history;
  // a Velmora driver failure counts when it came after the newest attempt began.
  std::vector<Finding>& findings = outcome.findings;
  // Where each finding stands among those of its severity: with its
  // attempt, in time order, then by its file's kind; never by file names.
  std::vector<std::size_t> rank;
  const std::size_t after_attempts = order.size();
  std::vector<const Finding*> deciding(order.size(), nullptr);
  std::optional<std::size_t> driver_failure;
  std::optional<std::vector<Product>> listed;
  for (std::size_t f = 0; f < files.size(); ++f) {
    FileResult& result = files[f].result;
    if (result.system && !outcome.system) outcome.system = result.system;
    if (result.installed) {
      if (!listed) listed.emplace();
      listed->insert(listed->end(), result.installed->begin(), result.installed->end());
    }
    for (Finding& finding : result.findings) {
      std::size_t place = after_attempts + static_cast<std::size_t>(files[f].kind);
      if (finding.attempt >= 0) {
        const int at = position(f, finding.attempt);
        place = static_cast<std::size_t>(std::max(at, 0));
        if (finding.severity == Severity::Error && at >= 0 && deciding[at] == nullptr) {
          deciding[at] = &finding;
        }
        const bool current = at == newest || (at >= 0 && order[at].parent == newest);
        if (!current) continue;
        // A package's failure in a bundle that went on and succeeded.
        if (at != newest && newest_attempt->outcome == Result::Succeeded &&
            finding.severity == Severity::Error) {
          finding.severity = Severity::Warning;
        }
      } else if (finding.velmora_driver) {
        const bool current = newest_attempt == nullptr || !newest_attempt->time || !finding.time ||
                             *finding.time >= *newest_attempt->time;
        if (current) {
          finding.severity = Severity::Error;
        } else {
          finding.severity = Severity::Warning;
          finding.message = "Before the newest installation attempt: " + finding.message;
        }
      }
      findings.push_back(finding);
      rank.push_back(place);
      if (finding.velmora_driver && finding.severity == Severity::Error && !driver_failure) {
        driver_failure = findings.size() - 1;
      }
    }
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Attempt& attempt = *order[i].attempt;
    if (static_cast<int>(i) == newest || order[i].parent >= 0) continue;
    if (attempt.outcome == Result::Failed || attempt.outcome == Result::Cancelled) {
      findings.push_back(History(attempt, deciding[i]));
      rank.push_back(i);
    }
  }
  for (Finding& note : notes) {
    findings.push_back(std::move(note));
    rank.push_back(std::numeric_limits<std::size_t>::max());
  }
  LinkFailures(findings);

  if (newest_attempt != nullptr) {
    switch (newest_attempt->outcome) {
      case Result::Failed:
      case Result::Cancelled:
        outcome.verdict = Verdict::Failed;
        break;
      case Result::Succeeded:
        outcome.verdict = Verdict::Succeeded;
        break;
      case Result::Unknown:
        break;
    }
  }
  if (driver_failure) outcome.verdict = Verdict::Failed;

  for (const Placed& placed : order) outcome.attempts.push_back(*placed.attempt);
  const auto with_product = [](const Attempt* attempt) {
    return attempt != nullptr && !attempt->product.empty();
  };
  if (with_product(newest_attempt)) {
    outcome.product = Product{newest_attempt->product, newest_attempt->version};
  } else {
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      if (with_product(it->attempt)) {
        outcome.product = Product{it->attempt->product, it->attempt->version};
        break;
      }
    }
  }
  if (!outcome.product && listed && !listed->empty()) outcome.product = listed->front();

  SummaryFacts facts;
  facts.newest = newest_attempt;
  for (const Placed& placed : order) facts.attempts.push_back(placed.attempt);
  facts.driver_failure = driver_failure ? &findings[*driver_failure] : nullptr;
  facts.listed = listed;
  outcome.summary = Summarise(facts);

  const bool matched =
      !order.empty() || std::any_of(findings.begin(), findings.end(), [](const Finding& finding) {
        return finding.severity != Severity::Info && !StartsWith(finding.rule, "input.");
      });
  if (!matched) {
    Finding finding = MakeFinding("triage.no-rule-matched", "");
    finding.message = "No rule matched: none of the " +
                      Counted(static_cast<int64_t>(files_read), "file") +
                      " read states a failure or the installation's outcome";
    findings.push_back(std::move(finding));
    rank.push_back(std::numeric_limits<std::size_t>::max());
  }
  std::vector<std::size_t> by(findings.size());
  for (std::size_t i = 0; i < by.size(); ++i) by[i] = i;
  std::stable_sort(by.begin(), by.end(), [&](std::size_t a, std::size_t b) {
    const int severity_a = static_cast<int>(findings[a].severity);
    const int severity_b = static_cast<int>(findings[b].severity);
    return severity_a != severity_b ? severity_a < severity_b : rank[a] < rank[b];
  });
  std::vector<Finding> ordered;
  ordered.reserve(findings.size());
  for (const std::size_t i : by) ordered.push_back(std::move(findings[i]));
  findings = std::move(ordered);
  return outcome;
}

}  // namespace triage
