#include "burn_log.h"

#include "catalogue.h"
#include "codes.h"
#include "failure_cause.h"
#include "finding.h"
#include "knowledge.h"
#include "message_facts.h"
#include "text.h"

namespace triage {
namespace {

// "result: 0x80070643" (or "exit code: 0x643") as the Windows Installer or
// Win32 code it carries.
std::optional<int64_t> ResultAfter(std::string_view body, std::string_view marker) {
  const std::size_t at = body.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  auto value = ParseHex(body.substr(at + marker.size()));
  if (!value) return std::nullopt;
  return UnwrapHresult(*value);
}

// A variable's value as the bundle sets it ("Setting string variable
// 'Name' to value 'Value'") or lists it at its end ("Variable: Name = Value").
std::optional<std::string_view> VariableValue(std::string_view body, std::string_view name) {
  if (StartsWith(body, "Variable: ")) {
    const std::string_view rest = body.substr(10);
    if (!StartsWith(rest, name) || !StartsWith(rest.substr(name.size()), " = "))
      return std::nullopt;
    return Trim(rest.substr(name.size() + 3));
  }
  const std::size_t at = body.find("variable '" + std::string(name) + "' to value '");
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = body.substr(at + name.size() + 22);
  const std::size_t end = rest.rfind('\'');
  return end == std::string_view::npos ? rest : rest.substr(0, end);
}

// The package named after "...package: " up to the next comma.
std::string PackageName(std::string_view body) {
  const std::size_t start = body.find(": ");
  if (start == std::string_view::npos) return {};
  const std::string_view rest = body.substr(start + 2);
  return std::string(CutUtf8(rest.substr(0, rest.find(',')), 120));
}

// The HRESULT as the bundle logged it after `marker`.
std::optional<int64_t> LoggedResult(std::string_view body, std::string_view marker) {
  const std::size_t at = body.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  return ParseHex(body.substr(at + marker.size()));
}

Operation OperationOf(std::string_view action) {
  if (EqualsNoCase(action, "Install")) return Operation::Install;
  if (EqualsNoCase(action, "Uninstall")) return Operation::Remove;
  if (EqualsNoCase(action, "Repair")) return Operation::Repair;
  if (EqualsNoCase(action, "Modify")) return Operation::Modify;
  return Operation::Unknown;
}

}  // namespace

bool BurnLogRules::BeginsLog(std::string_view text) {
  if (text.empty() || text[0] != '[') return false;
  const std::string_view head = text.substr(0, 72);
  return Contains(head, "]: Burn v") || Contains(head, "]i001: Burn v");
}

bool BurnLogRules::Line(std::string_view text, EvidenceKeeper& evidence) {
  // "[0A3C:0B20][2026-12-01T10:15:04]e000: ..." or "...]: ..."
  if (text.size() < 8 || text[0] != '[') return false;
  const std::size_t ids_end = text.find("][", 1);
  if (ids_end == std::string_view::npos || ids_end > 24) return false;
  const std::size_t time_end = text.find(']', ids_end + 2);
  if (time_end == std::string_view::npos || time_end > ids_end + 40) return false;
  std::string_view rest = text.substr(time_end + 1);
  char level = 0;
  if (StartsWith(rest, ": ")) {
    rest.remove_prefix(2);  // Burn 3.x: no level, no message id
  } else {
    // A level letter, three digits, then ": ".
    if (rest.size() < 6 || rest[4] != ':') return false;
    for (std::size_t i = 1; i < 4; ++i) {
      if (rest[i] < '0' || rest[i] > '9') return false;
    }
    level = rest[0];
    rest.remove_prefix(5);
  }
  seen_ = true;
  ++lines_;
  const std::optional<int64_t> time =
      ParseIsoLikeTime(text.substr(ids_end + 2, time_end - ids_end - 2));
  // A bundle's lines follow each other within a day: a line dated far ahead
  // (damage, or a line from elsewhere) does not stretch the bundle's span
  // over attempts it never ran.
  if (time) {
    if (!first_time_) first_time_ = last_time_ = time;
    if (*time > *last_time_ && *time - *last_time_ <= kMostGap) last_time_ = time;
  }
  Message(level, Trim(rest), time, evidence);
  return true;
}

void BurnLogRules::Message(char level, std::string_view body, std::optional<int64_t> time,
                           EvidenceKeeper& evidence) {
  if (level == 'e' || (level == 0 && StartsWith(body, "Error 0x"))) {
    ++error_count_;
    if (!first_error_) {
      first_error_ = Marked{evidence.Keep(), std::string(CutUtf8(body, 300)),
                            LoggedResult(body, "Error 0x"), time};
    }
    return;
  }
  if (StartsWith(body, "Applied non-vital package: ")) {
    const std::string package = PackageName(body);
    // Its "Applied execute package" line just before reported it failed:
    // the bundle does without it, so that was no failure of the bundle.
    if (package_failed_ && package_failed_->text == package) {
      spare_ = package_failed_->evidence;
      package_failed_.reset();
    }
    if (non_vital_.size() < kMostNonVital) {
      non_vital_.push_back(Marked{evidence.Keep(), package, ResultAfter(body, "error: 0x"), time});
    } else {
      ++more_non_vital_;
    }
    return;
  }
  if (StartsWith(body, "Applied execute package: ") || StartsWith(body, "Applied package: ")) {
    const std::optional<int64_t> code = ResultAfter(body, "result: 0x");
    if (Contains(body, "restart: Required") && !restart_) {
      restart_ = Marked{evidence.Keep(), PackageName(body), code, time};
    }
    if (!code || *code == 0 || IsRestartCode(*code) || package_failed_) return;
    // The package's own code, as logged: its entry says where to look.
    package_failed_ =
        Marked{evidence.Keep(spare_), PackageName(body), LoggedResult(body, "result: 0x"), time};
    spare_ = kNoEvidence;
    return;
  }
  if (StartsWith(body, "Apply complete, result: 0x")) {
    Ending(apply_, ResultAfter(body, ": 0x"), time, evidence);
    return;
  }
  if (StartsWith(body, "Exit code: 0x") || StartsWith(body, "Shutting down, exit code: 0x")) {
    Ending(exit_, ResultAfter(body, "code: 0x"), time, evidence);
    return;
  }
  if (StartsWith(body, "Plan begin, ")) {
    const std::size_t at = body.find("action: ");
    if (at != std::string_view::npos) action_ = std::string(CutUtf8(Trim(body.substr(at + 8)), 40));
    return;
  }
  if (Contains(body, "'WixBundleLog_") && package_logs_.size() < kMostPackageLogs) {
    const MessageFacts read = ReadBundleLine(body);
    const auto package = read.facts.find("package");
    const auto log = read.facts.find("log");
    if (package != read.facts.end() && log != read.facts.end())
      package_logs_.emplace_back(package->second, log->second);
    return;
  }
  if (auto name = VariableValue(body, "WixBundleName")) {
    bundle_name_ = std::string(CutUtf8(*name, 200));
  } else if (auto version = VariableValue(body, "WixBundleVersion")) {
    bundle_version_ = std::string(CutUtf8(*version, 100));
  }
}

// A later line of the same kind replaces an earlier one, but never a
// failure with success: lines that disagree do not add up to success.
void BurnLogRules::Ending(std::optional<Marked>& line, std::optional<int64_t> code,
                          std::optional<int64_t> time, EvidenceKeeper& evidence) {
  const auto failed = [](const std::optional<int64_t>& value) {
    return value && !IsInstallerSuccess(*value);
  };
  if (line && failed(line->code) && !failed(code)) return;
  line = Marked{evidence.Keep(line ? line->evidence : kNoEvidence), "", code, time};
}

void BurnLogRules::End(FileResult& result) const {
  if (!seen_) return;
  result.understood = true;
  // The exit code is the bundle's last word, unless it says success after
  // an apply that failed.
  const Marked* ending = exit_ ? &*exit_ : apply_ ? &*apply_ : nullptr;
  if (apply_ && exit_ && apply_->code && *apply_->code != 0 && exit_->code == 0) ending = &*apply_;
  const std::optional<int64_t> code = ending ? ending->code : std::nullopt;
  Result outcome = Result::Unknown;
  if (code) {
    outcome = *code == 1602 || *code == 1223 ? Result::Cancelled
              : IsInstallerSuccess(*code)    ? Result::Succeeded
                                             : Result::Failed;
  }
  const bool succeeded = outcome == Result::Succeeded;
  const int index = static_cast<int>(result.attempts.size());

  Attempt attempt;
  attempt.bundle = true;
  attempt.time = first_time_;
  attempt.end = last_time_;
  attempt.file = file_;
  attempt.product = bundle_name_;
  attempt.version = bundle_version_;
  attempt.operation = OperationOf(action_);
  attempt.outcome = outcome;
  attempt.code = code;
  attempt.restart = (code && IsRestartCode(*code)) || restart_.has_value();
  if (ending) attempt.evidence = ending->evidence;
  if (!succeeded && package_failed_) {
    attempt.evidence = package_failed_->evidence;
    attempt.where = package_failed_->text;
    attempt.cause = package_failed_->code;
  }
  result.attempts.push_back(attempt);

  std::vector<Finding>& findings = result.findings;
  const std::size_t first = findings.size();
  if (package_failed_) {
    Finding finding = MakeFinding("burn.package-failed", file_);
    finding.evidence = package_failed_->evidence;
    finding.time = package_failed_->time;
    finding.code = package_failed_->code;
    finding.where = package_failed_->text;
    Facts facts{{"package", package_failed_->text}};
    for (const auto& [package, log] : package_logs_) {
      if (package == package_failed_->text) {
        facts["log"] = log;
        finding.package_log = log;
      }
    }
    const Explanation own = Explain(CodeKind::Hresult, *package_failed_->code, facts);
    const Explanation rule = ExplainRule("burn.package-failed", facts);
    finding.cause = CauseText(own, package_failed_->code);
    finding.message =
        Say("burn.package-failed", {{"package", package_failed_->text}, {"cause", finding.cause}});
    // The package's own log holds the cause, whatever its code.
    finding.remedy = own.known ? own.remedy : own.remedy + " " + rule.remedy;
    if (succeeded) finding.severity = Severity::Warning;
    findings.push_back(std::move(finding));
    result.attempts.back().reason = CauseText(own, package_failed_->code);
  }
  for (const Marked& package : non_vital_) {
    Finding finding = MakeFinding("burn.non-vital-package", file_);
    finding.evidence = package.evidence;
    finding.time = package.time;
    finding.code = package.code;
    finding.where = package.text;
    finding.message = Say("burn.non-vital-package", {{"package", package.text}});
    if (package.code) {
      Append(finding.message,
             Say("burn.non-vital-package.code", {{"code", ExplainInstallerCode(*package.code)}}));
    }
    Append(finding.message, Say("burn.non-vital-package.went-on"));
    if (&package == &non_vital_.back() && more_non_vital_ > 0) {
      Append(finding.message,
             SayCounted("burn.non-vital-package.more", static_cast<int64_t>(more_non_vital_),
                        {{"most", std::to_string(kMostNonVital)}}));
    }
    findings.push_back(std::move(finding));
  }
  if (first_error_) {
    Finding finding = MakeFinding("burn.error", file_);
    finding.evidence = first_error_->evidence;
    finding.time = first_error_->time;
    finding.code = first_error_->code;
    finding.message = Say("burn.error", {{"quote", first_error_->text}});
    if (error_count_ > 1) {
      Append(finding.message, SayCounted("more-errors", static_cast<int64_t>(error_count_ - 1)));
    }
    if (first_error_->code) {
      const Explanation explained =
          Explain(CodeKind::Hresult, *first_error_->code, {}, first_error_->text);
      finding.cause = CauseText(explained, first_error_->code);
      Append(finding.message, Say("burn.error.cause", {{"cause", finding.cause}}));
      finding.remedy = explained.remedy;
      if (!package_failed_ && outcome == Result::Failed)
        result.attempts.back().reason = CauseText(explained, first_error_->code);
    }
    finding.message += ".";
    // The failed package is the cause; the bundle's error line restates it.
    if (outcome != Result::Failed) finding.severity = Severity::Warning;
    if (package_failed_ && outcome == Result::Failed) finding.severity = Severity::Info;
    findings.push_back(std::move(finding));
  }
  if (ending) {
    Finding finding = MakeFinding("burn.outcome", file_);
    finding.evidence = ending->evidence;
    finding.time = ending->time;
    finding.code = code;
    const bool explained = package_failed_ || (first_error_ && outcome == Result::Failed);
    finding.severity = succeeded || explained ? Severity::Info : Severity::Error;
    finding.message = Say(succeeded                      ? "burn.outcome.succeeded"
                          : outcome == Result::Cancelled ? "burn.outcome.cancelled"
                                                         : "burn.outcome.failed",
                          {{"code", ExplainInstallerCode(code.value_or(0))}});
    if (succeeded) finding.remedy = Explain(CodeKind::Installer, 0, {}).remedy;
    findings.push_back(std::move(finding));
  } else {
    Finding finding = MakeFinding("burn.no-outcome", file_);
    finding.message = Say("burn.no-outcome");
    findings.push_back(std::move(finding));
  }
  if (restart_ || (succeeded && code && IsRestartCode(*code))) {
    Finding finding = MakeFinding("burn.restart-required", file_);
    finding.evidence = restart_ ? restart_->evidence : ending->evidence;
    finding.code = restart_ ? std::nullopt : code;
    finding.message =
        restart_ ? Say("burn.restart-required.package")
                 : Say("burn.restart-required.returned", {{"code", std::to_string(*code)}});
    findings.push_back(std::move(finding));
  }
  for (std::size_t i = first; i < findings.size(); ++i) findings[i].attempt = index;
}

}  // namespace triage
