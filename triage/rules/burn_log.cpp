#include "burn_log.h"

#include "codes.h"
#include "finding.h"
#include "text.h"

namespace triage {
namespace {

// "result: 0x80070643" (or "Exit code: 0x643") as the Windows Installer or
// Win32 code it carries.
std::optional<int64_t> ResultAfter(std::string_view body, std::string_view marker) {
  const size_t at = body.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  auto value = ParseHex(body.substr(at + marker.size()));
  if (!value) return std::nullopt;
  return UnwrapHresult(*value);
}

const char* RemedyFor(int64_t code) {
  if (const CodeInfo* info = FindInstallerCode(code)) return info->remedy;
  return "Open the package's own installer log (named in the bundle log) and look for its "
         "failing action.";
}

// The quoted value of "variable 'Name' to value 'Value'".
std::optional<std::string_view> VariableValue(std::string_view body, std::string_view name) {
  const size_t at = body.find(name);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = body.substr(at + name.size());
  if (!StartsWith(rest, "' to value '")) return std::nullopt;
  rest.remove_prefix(12);
  const size_t end = rest.rfind('\'');
  return end == std::string_view::npos ? rest : rest.substr(0, end);
}

}  // namespace

bool BurnLogRules::Line(uint64_t number, std::string_view text, const ContextRing& ring) {
  // "[0A3C:0B20][2026-12-01T10:15:04]e000: ..."
  if (text.size() < 8 || text[0] != '[') return false;
  const size_t ids_end = text.find("][", 1);
  if (ids_end == std::string_view::npos || ids_end > 24) return false;
  const size_t time_end = text.find(']', ids_end + 2);
  if (time_end == std::string_view::npos || time_end > ids_end + 40) return false;
  std::string_view rest = text.substr(time_end + 1);
  // A level letter, three digits, then ": ".
  if (rest.size() < 6 || rest[4] != ':') return false;
  for (size_t i = 1; i < 4; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return false;
  }
  seen_ = true;
  Message(number, rest[0], Trim(rest.substr(5)),
          ParseIsoLikeTime(text.substr(ids_end + 2, time_end - ids_end - 2)), ring);
  return true;
}

void BurnLogRules::Message(uint64_t number, char level, std::string_view body,
                           std::optional<int64_t> time, const ContextRing& ring) {
  if (level == 'e') {
    ++error_count_;
    if (first_error_) return;
    Finding finding = MakeFinding("burn.error", Severity::Error, file_, number, ring.Snapshot());
    finding.time = time;
    std::optional<int64_t> code = ResultAfter(body, "Error 0x");
    finding.code = code;
    finding.message = "The bundle logged an error: \"" + std::string(CutUtf8(body, 300)) + "\"";
    if (code) finding.message += "; code " + ExplainInstallerCode(*code);
    finding.message += ".";
    finding.remedy = code ? RemedyFor(*code) : RemedyFor(-1);
    first_error_ = std::move(finding);
    return;
  }
  if (StartsWith(body, "Applied execute package: ") || StartsWith(body, "Applied package: ")) {
    const std::optional<int64_t> code = ResultAfter(body, "result: 0x");
    if (Contains(body, "restart: Required") && !restart_) {
      Finding finding =
          MakeFinding("burn.restart-required", Severity::Warning, file_, number, ring.Snapshot());
      finding.message = "A package of the bundle needs a restart to complete.";
      finding.remedy = "Restart Windows before using the product or installing anything else.";
      restart_ = std::move(finding);
    }
    if (!code || *code == 0 || IsRestartCode(*code) || package_failed_) return;
    const size_t name_start = body.find(": ") + 2;
    const size_t name_end = body.find(',', name_start);
    const std::string_view package = CutUtf8(body.substr(name_start, name_end - name_start), 120);
    Finding finding =
        MakeFinding("burn.package-failed", Severity::Error, file_, number, ring.Snapshot());
    finding.time = time;
    finding.code = code;
    finding.message = "The bundle's package " + std::string(package) + " failed with " +
                      ExplainInstallerCode(*code) + ".";
    finding.remedy = RemedyFor(*code);
    package_failed_ = std::move(finding);
    return;
  }
  if (StartsWith(body, "Apply complete, result: 0x") || StartsWith(body, "Exit code: 0x")) {
    const std::optional<int64_t> code = ResultAfter(body, ": 0x");
    if (!code) return;
    // The apply result says more than the exit code that follows it.
    if (outcome_ && StartsWith(body, "Exit code") && outcome_code_ && *outcome_code_ != 0 &&
        *code == 0) {
      return;
    }
    const bool succeeded = IsInstallerSuccess(*code);
    Finding finding = MakeFinding("burn.outcome", succeeded ? Severity::Info : Severity::Error,
                                  file_, number, ring.Snapshot());
    finding.time = time;
    finding.code = code;
    finding.message = std::string(succeeded ? "The bundle installation succeeded"
                                            : "The bundle installation failed") +
                      "; result " + ExplainInstallerCode(*code) + ".";
    finding.remedy = succeeded ? "Nothing to do." : RemedyFor(*code);
    outcome_ = std::move(finding);
    outcome_code_ = code;
    return;
  }
  if (auto name = VariableValue(body, "variable 'WixBundleName")) {
    bundle_name_ = std::string(CutUtf8(*name, 200));
  } else if (auto version = VariableValue(body, "variable 'WixBundleVersion")) {
    bundle_version_ = std::string(CutUtf8(*version, 100));
  }
}

void BurnLogRules::End(Report& report) {
  if (!seen_) return;
  if (!bundle_name_.empty() && !report.product) {
    report.product = Product{bundle_name_, bundle_version_};
  }
  if (package_failed_) report.findings.push_back(std::move(*package_failed_));
  if (first_error_) {
    if (error_count_ > 1) {
      first_error_->message +=
          " It is followed by " + Counted(error_count_ - 1, "more error line") + ".";
    }
    report.findings.push_back(std::move(*first_error_));
  }
  if (outcome_) {
    const bool succeeded = outcome_->severity != Severity::Error;
    if (!succeeded) {
      report.install_succeeded = false;
    } else if (!report.install_succeeded.has_value()) {
      report.install_succeeded = true;
    }
    if (succeeded && outcome_code_ && IsRestartCode(*outcome_code_) && !restart_) {
      Finding finding = MakeFinding("burn.restart-required", Severity::Warning, file_,
                                    outcome_->line, outcome_->context);
      finding.message = "The bundle returned " + std::to_string(*outcome_code_) +
                        ": the installation is complete only after a restart.";
      finding.remedy = "Restart Windows before using the product or installing anything else.";
      restart_ = std::move(finding);
    }
    report.findings.push_back(std::move(*outcome_));
  } else {
    Finding finding = MakeFinding("burn.no-outcome", Severity::Info, file_, 0);
    finding.message =
        "The bundle log does not say how the installation ended: it was cut short, or the "
        "installation was still running when the log was collected.";
    finding.remedy = "Collect again after the installation has ended.";
    report.findings.push_back(std::move(finding));
  }
  if (restart_) report.findings.push_back(std::move(*restart_));
}

}  // namespace triage
