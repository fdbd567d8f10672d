#include "msi_log.h"

#include "codes.h"
#include "finding.h"
#include "text.h"

namespace triage {
namespace {

constexpr size_t kKeptErrors = 4;

// The outcome's sources, weakest first.
constexpr int kRankTopOther = 0;  // a top-level action that is not a sequence's root
constexpr int kRankTopAction = 1;
constexpr int kRankEngineReturn = 2;
constexpr int kRankStatus = 3;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text after `marker` in `text`, or nothing.
std::optional<std::string_view> After(std::string_view text, std::string_view marker) {
  const size_t at = text.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  return text.substr(at + marker.size());
}

// "Product Name: X. Product Version: Y. ...": the value up to ". ".
std::string_view FieldUpToDot(std::string_view rest) {
  const size_t end = rest.find(". ");
  return Trim(end == std::string_view::npos ? rest : rest.substr(0, end));
}

const char* RemedyFor(std::optional<int64_t> code, const char* otherwise) {
  if (code) {
    if (const CodeInfo* info = FindInstallerCode(*code)) return info->remedy;
  }
  return otherwise;
}

// Message numbers whose notes report a failure: files (1304-1311), another
// installation (1500), the installation failing (1708), custom actions
// (1721-1723), services and assemblies (1920-1939).
bool IsFailureNote(int64_t code) {
  return (code >= 1304 && code <= 1311) || code == 1500 || code == 1708 ||
         (code >= 1721 && code <= 1723) || (code >= 1920 && code <= 1939);
}

// The time of day of an engine line: "MSI (s) (A4:B0) [10:15:05:456]: ...".
std::optional<int64_t> EngineClock(std::string_view text) {
  const size_t open = text.find('[');
  if (open == std::string_view::npos || open > 24) return std::nullopt;
  return ParseClock(text.substr(open + 1));
}

constexpr char kGenericRemedy[] =
    "Read the error lines just above the evidence line; they name the file, service or custom "
    "action at fault.";

}  // namespace

void MsiLogRules::Line(uint64_t number, std::string_view text, const ContextRing& ring) {
  if (text.empty()) return;
  // Dispatch on the first byte: most lines of a verbose log are engine lines
  // whose payload is checked by its own first byte in turn.
  switch (text[0]) {
    case 'M':
      if (StartsWith(text, "MSI (")) {
        seen_ = true;
        windows_engine_ = true;
        // "MSI (s) (A4:B0) [10:15:02:310]: payload"; older logs have no
        // time: "MSI (c) (29:28) : payload". One short search either way.
        const std::string_view head = text.substr(0, 48);
        const size_t close = head.find(']', 14);
        size_t colon = std::string_view::npos;
        if (close != std::string_view::npos && head.substr(close + 1, 2) == ": ") {
          colon = close + 1;
        } else {
          colon = head.find(": ", 8);
        }
        if (colon != std::string_view::npos) EngineLine(number, text.substr(colon + 2), text, ring);
        return;
      }
      break;
    case 'A':
      if (StartsWith(text, "Action start ")) {
        seen_ = true;
        ActionStart(number, text.substr(13), ring);
        return;
      }
      if (StartsWith(text, "Action ended ")) {
        seen_ = true;
        ActionEnded(number, text.substr(13), ring);
        return;
      }
      if (StartsWith(text, "Action ")) return;  // an action's description line
      break;
    case 'P':
      if (StartsWith(text, "Property(")) {
        seen_ = true;
        PropertyLine(number, text, ring);
        return;
      }
      break;
    case 'E':
      if (StartsWith(text, "Error ") && text.size() > 6 && IsDigit(text[6])) {
        ErrorLine(number, text, ParseDecimal(text.substr(6)));
        return;
      }
      break;
    case 'C':
      if (StartsWith(text, "CustomAction ")) {
        if (auto rest = After(text, "returned actual error code ")) {
          ErrorLine(number, text, ParseDecimal(*rest));
        }
        return;
      }
      break;
    case 'R':
      if (StartsWith(text, "Rollback: ") || text == "Rollback") {
        if (!rollback_) {
          Finding finding =
              MakeFinding("msi.rollback", Severity::Warning, file_, number, ring.Snapshot());
          finding.message =
              "The installation was rolled back: after a failure the installer undid its "
              "changes, so the product is not (or no longer) installed. First step undone: " +
              std::string(Trim(CutUtf8(text.substr(text.size() > 10 ? 10 : text.size()), 200))) +
              ".";
          finding.remedy = "Find the failure that caused it (the failing action above) and fix it.";
          rollback_ = std::move(finding);
        }
        return;
      }
      break;
    case '=':
      if (StartsWith(text, "=== ")) {
        HeaderLine(text);
        return;
      }
      break;
    case 'I':
      if (StartsWith(text, "Info 1903.")) {
        Restart(number, ring, "Files in use were scheduled to be replaced at the next restart.");
        return;
      }
      break;
    case 'D':
      // Internal debug errors (2xxx) are mostly harmless noise.
      if (StartsWith(text, "DEBUG: ")) return;
      break;
    default:
      break;
  }
  // Custom actions write their own lines, named by the action; WiX's write
  // "Name:  Error 0x...". Other lines are not searched.
  const char first = text[0];
  if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) return;
  if (auto rest = After(text, "Error 0x")) {
    size_t used = 0;
    if (auto hresult = ParseHex(*rest, &used)) ErrorLine(number, text, UnwrapHresult(*hresult));
  }
}

void MsiLogRules::EngineLine(uint64_t number, std::string_view payload, std::string_view text,
                             const ContextRing& ring) {
  if (payload.empty()) return;
  switch (payload[0]) {
    case 'N':
      if (StartsWith(payload, "Note: 1: ")) {
        // Only notes of failures: most notes (1402, a registry key that
        // does not exist yet; the 2xxx ones) are routine.
        auto code = ParseDecimal(payload.substr(9));
        if (code && IsFailureNote(*code)) ErrorLine(number, text, code);
      }
      return;
    case 'P':
      if (StartsWith(payload, "Product: ")) {
        if (auto rest = After(payload, " -- Error ")) ErrorLine(number, text, ParseDecimal(*rest));
      }
      return;
    case 'M':
      if (auto rest = After(payload, "MainEngineThread is returning ")) {
        if (auto code = ParseDecimal(*rest)) {
          const std::optional<int64_t> clock = EngineClock(text);
          SetOutcome(kRankEngineReturn, code, number, ring, TimeAt(clock));
        }
      }
      return;
    case 'W':
      if (!StartsWith(payload, "Windows Installer ")) return;
      if (auto rest = After(payload, "success or error status: ")) {
        if (auto code = ParseDecimal(*rest)) {
          const std::optional<int64_t> clock = EngineClock(text);
          SetOutcome(kRankStatus, code, number, ring, TimeAt(clock));
        }
        if (auto name = After(payload, "Product Name: ")) {
          product_name_ = std::string(CutUtf8(FieldUpToDot(*name), 200));
        }
        if (auto version = After(payload, "Product Version: ")) {
          product_version_ = std::string(CutUtf8(FieldUpToDot(*version), 100));
        }
      } else if (Contains(payload, "requires a system restart")) {
        Restart(number, ring, "Windows Installer logged that a restart is required.");
      }
      return;
    default:
      return;
  }
}

void MsiLogRules::ActionStart(uint64_t number, std::string_view rest, const ContextRing& ring) {
  // Wine's msiexec runs its rollback as fresh top-level actions after the
  // failed installation has ended.
  if (top_failed_ && depth_ == 0 && !replayed_after_failure_) {
    Finding finding =
        MakeFinding("msi.rollback", Severity::Warning, file_, number, ring.Snapshot());
    finding.message =
        "Actions ran again after the installation had failed: Wine's msiexec logs its rollback "
        "(undoing the installation's changes) this way, so the product is not installed.";
    finding.remedy = "Find the failure that caused it (the failing action above) and fix it.";
    replayed_after_failure_ = std::move(finding);
  }
  ++depth_;
  // The errors of an earlier action do not explain a later one.
  recent_errors_.clear();
  TimeAt(ParseClock(rest));
}

void MsiLogRules::ActionEnded(uint64_t number, std::string_view rest, const ContextRing& ring) {
  // "10:15:04: InstallFinalize. Return value 3."
  const std::optional<int64_t> time = TimeAt(ParseClock(rest));
  const bool top_level = depth_ <= 1;
  if (depth_ > 0) --depth_;
  const size_t marker = rest.rfind(". Return value ");
  if (marker == std::string_view::npos) return;
  const auto value = ParseDecimal(rest.substr(marker + 15));
  if (!value) return;
  size_t name_start = rest.find(": ");
  name_start = (name_start == std::string_view::npos || name_start > marker) ? 0 : name_start + 2;
  const std::string_view name = CutUtf8(Trim(rest.substr(name_start, marker - name_start)), 120);

  const auto record = [&]() {
    FailedAction action;
    action.name = std::string(name);
    action.logged_value = *value;
    action.line = number;
    action.time = time;
    action.context = ring.Snapshot();
    action.errors = recent_errors_;
    return action;
  };
  if (*value == 3 && !failed_action_) failed_action_ = record();
  if (*value == 0 && !zero_action_) zero_action_ = record();
  if (top_level) {
    // The root of a sequence says how the whole run ended; other top-level
    // actions only when no root has ended.
    const bool root = name == "INSTALL" || name == "ADMIN" || name == "ADVERTISE";
    if (has_outcome_ && outcome_.rank > (root ? kRankTopAction : kRankTopOther)) return;
    if (root && *value != 1) top_failed_ = true;
    SetOutcome(root ? kRankTopAction : kRankTopOther, std::nullopt, number, ring, time);
    outcome_.logged_value = *value;
    outcome_.action.assign(name);
  }
}

void MsiLogRules::PropertyLine(uint64_t number, std::string_view text, const ContextRing& ring) {
  const size_t colon = text.find("): ");
  if (colon == std::string_view::npos || colon > 12) return;
  const std::string_view assignment = text.substr(colon + 3);
  const size_t equals = assignment.find(" = ");
  if (equals == std::string_view::npos) return;
  const std::string_view name = assignment.substr(0, equals);
  const std::string_view value = Trim(assignment.substr(equals + 3));
  if (name == "ProductName") {
    if (product_name_.empty()) product_name_ = std::string(CutUtf8(value, 200));
  } else if (name == "ProductVersion") {
    if (product_version_.empty()) product_version_ = std::string(CutUtf8(value, 100));
  } else if (name == "MsiSystemRebootPending" && value == "1") {
    if (!restart_pending_) {
      Finding finding =
          MakeFinding("msi.restart-pending", Severity::Warning, file_, number, ring.Snapshot());
      finding.message =
          "A restart was already pending when this installation ran (an earlier installation "
          "or update waits for it); files it replaces may still be in use.";
      finding.remedy = "Restart Windows, then run the installation again if it failed.";
      restart_pending_ = std::move(finding);
    }
  } else if (name == "ReplacedInUseFiles" && value == "1") {
    Restart(number, ring, "Files in use were replaced; they take effect after a restart.");
  }
}

void MsiLogRules::ErrorLine(uint64_t number, std::string_view text, std::optional<int64_t> code) {
  seen_ = true;
  ++error_count_;
  if (!first_error_) {
    first_error_ = EvidenceLine{number, std::string(CutUtf8(text))};
    first_error_code_ = code;
  }
  if (recent_errors_.size() < kKeptErrors) {
    recent_errors_.push_back({number, std::string(CutUtf8(text))});
  }
}

void MsiLogRules::HeaderLine(std::string_view text) {
  // "=== Verbose logging started: 12/1/2026  10:15:00  Build type: ..."
  auto rest = After(text, "started: ");
  seen_ = true;
  if (!rest) return;
  std::string_view cursor = *rest;
  int64_t parts[3] = {0, 0, 0};
  size_t widths[3] = {0, 0, 0};
  char separator = 0;
  for (int i = 0; i < 3; ++i) {
    size_t used = 0;
    auto part = ParseDecimal(cursor, &used);
    if (!part || *part < 0) return;
    parts[i] = *part;
    widths[i] = used;
    cursor.remove_prefix(used);
    if (i < 2) {
      if (cursor.empty()) return;
      separator = cursor[0];
      cursor.remove_prefix(1);
    }
  }
  int64_t year = 0, month = 0, day = 0;
  if (widths[0] == 4) {  // year first
    year = parts[0], month = parts[1], day = parts[2];
  } else if (separator == '.' || parts[0] > 12) {  // day first, as most locales write it
    day = parts[0], month = parts[1], year = parts[2];
  } else {  // the United States' month/day/year
    month = parts[0], day = parts[1], year = parts[2];
  }
  date_ = CivilSeconds(year, month, day, 0, 0, 0);
  cursor = Trim(cursor);
  if (auto clock = ParseClock(cursor)) last_clock_ = *clock;
}

std::optional<int64_t> MsiLogRules::TimeAt(std::optional<int64_t> clock) {
  if (!clock) return std::nullopt;
  // Logs write only the time of day; a clock far behind the last one seen
  // means the log passed midnight.
  if (last_clock_ >= 0 && *clock + 6 * 3600 < last_clock_) day_offset_ += 86400;
  last_clock_ = *clock;
  if (!date_) return std::nullopt;
  return *date_ + day_offset_ + *clock;
}

void MsiLogRules::SetOutcome(int rank, std::optional<int64_t> code, uint64_t number,
                             const ContextRing& ring, std::optional<int64_t> time) {
  if (has_outcome_ && outcome_.rank > rank) return;
  has_outcome_ = true;
  outcome_.rank = rank;
  outcome_.code = code;
  outcome_.logged_value = 0;
  outcome_.action.clear();
  outcome_.line = number;
  outcome_.time = time;
  outcome_.context.CopyFrom(ring);
}

void MsiLogRules::Restart(uint64_t number, const ContextRing& ring, std::string message) {
  if (restart_required_) return;
  Finding finding =
      MakeFinding("msi.restart-required", Severity::Warning, file_, number, ring.Snapshot());
  finding.message = std::move(message) + " The installation is complete only after a restart.";
  finding.remedy = "Restart Windows before using the product or installing anything else.";
  restart_required_ = std::move(finding);
}

Finding MsiLogRules::FailedActionFinding(bool wine_failure) const {
  const FailedAction& action = wine_failure ? *zero_action_ : *failed_action_;
  Finding finding =
      MakeFinding("msi.failed-action", Severity::Error, file_, action.line, action.context);
  finding.time = action.time;
  MergeContext(finding.context, action.errors);

  // The custom action's own code says most; then the first error message.
  std::string custom_action;
  std::optional<int64_t> code;
  for (const EvidenceLine& line : action.errors) {
    if (!StartsWith(line.text, "CustomAction ")) continue;
    const std::string_view rest = std::string_view(line.text).substr(13);
    custom_action = std::string(rest.substr(0, rest.find(' ')));
    if (auto value = After(line.text, "returned actual error code ")) code = ParseDecimal(*value);
    break;
  }
  if (!code) {
    for (const EvidenceLine& line : action.errors) {
      std::optional<int64_t> value;
      if (StartsWith(line.text, "Error "))
        value = ParseDecimal(std::string_view(line.text).substr(6));
      if (auto rest = After(line.text, " -- Error ")) value = ParseDecimal(*rest);
      if (value && *value != 1708) {
        code = value;
        break;
      }
    }
  }
  if (!code && !wine_failure) code = ReturnValueToCode(action.logged_value);
  finding.code = code;

  std::string message = "Action " + action.name;
  if (!custom_action.empty() && custom_action != action.name) {
    message += " failed in custom action " + custom_action;
  } else {
    message += " failed";
  }
  if (wine_failure) {
    message +=
        ": it ended with return value 0. Wine's msiexec logs a failed action so (Windows Installer "
        "would log 3, and means \"not run\" by 0); this log has none of Windows Installer's own "
        "engine lines, so it was most likely written under Wine";
  } else {
    message += " (return value 3: a fatal error)";
  }
  if (code) message += "; code " + ExplainInstallerCode(*code);
  for (const EvidenceLine& line : action.errors) {
    if (StartsWith(line.text, "CustomAction ")) continue;
    message += ". The log says just before: \"" + std::string(QuoteText(line.text)) + "\"";
    break;
  }
  finding.message = message + ".";
  finding.remedy = RemedyFor(code, kGenericRemedy);
  return finding;
}

void MsiLogRules::EmitOutcome(Report& report) {
  if (!has_outcome_) {
    Finding finding = MakeFinding("msi.no-outcome", Severity::Info, file_, 0);
    finding.message =
        "The log does not say how the installation ended: it was cut short, or the installation "
        "was still running when the log was collected.";
    finding.remedy = "Collect again after the installation has ended.";
    report.findings.push_back(std::move(finding));
    return;
  }
  const Outcome& outcome = outcome_;
  Finding finding =
      MakeFinding("msi.outcome", Severity::Info, file_, outcome.line, outcome.context.Snapshot());
  finding.time = outcome.time;
  std::optional<int64_t> code = outcome.code;
  bool succeeded = false;
  std::string message;
  if (outcome.rank <= kRankTopAction) {
    message = "The log ends without the installer's final status; its last top-level action, " +
              outcome.action + ", ended with return value " + std::to_string(outcome.logged_value);
    if (!windows_engine_ && outcome.logged_value == 0) {
      // Wine's convention, not Windows': 0 is a failure there.
      succeeded = false;
      message +=
          ", which Wine's msiexec writes for a failure (this log has no lines of Windows "
          "Installer's own engine)";
    } else {
      code = ReturnValueToCode(outcome.logged_value);
      succeeded = code && IsInstallerSuccess(*code);
      if (code) message += ", that is result " + ExplainInstallerCode(*code);
    }
    message += ".";
  } else {
    succeeded = code && IsInstallerSuccess(*code);
    message = std::string(succeeded ? "The installation succeeded" : "The installation failed") +
              "; the installer returned " + ExplainInstallerCode(code.value_or(0)) + ".";
  }
  finding.code = code;
  finding.severity = succeeded ? Severity::Info : Severity::Error;
  finding.message = std::move(message);
  finding.remedy = succeeded ? RemedyFor(code, "Nothing to do.")
                             : RemedyFor(code,
                                         "Look at the failing action and the error lines "
                                         "just above it.");
  if (succeeded && code && IsRestartCode(*code)) {
    Restart(finding.line, ContextRing(), "The installer returned " + std::to_string(*code) + ".");
    restart_required_->context = finding.context;
  }
  // One failed log is enough to call the installation failed.
  if (!succeeded) {
    report.install_succeeded = false;
  } else if (!report.install_succeeded.has_value()) {
    report.install_succeeded = true;
  }
  report.findings.push_back(std::move(finding));
}

void MsiLogRules::End(Report& report) {
  if (!seen_) return;
  if (!product_name_.empty() && !report.product) {
    report.product = Product{product_name_, product_version_};
  }
  bool failed_action = false;
  if (failed_action_) {
    report.findings.push_back(FailedActionFinding(false));
    failed_action = true;
  } else if (!windows_engine_ && zero_action_) {
    report.findings.push_back(FailedActionFinding(true));
    failed_action = true;
  }
  EmitOutcome(report);
  if (!failed_action && first_error_) {
    const bool failed = report.install_succeeded == false;
    Finding finding = MakeFinding("msi.error-message", failed ? Severity::Error : Severity::Warning,
                                  file_, first_error_->number, {*first_error_});
    finding.code = first_error_code_;
    finding.message =
        "The installer logged an error: \"" + std::string(QuoteText(first_error_->text)) + "\"";
    if (first_error_code_) {
      if (const CodeInfo* info = FindInstallerCode(*first_error_code_)) {
        finding.message += std::string(" (") + info->meaning + ")";
      }
    }
    if (error_count_ > 1) {
      finding.message += ", followed by " + Counted(error_count_ - 1, "more error line");
    }
    finding.message += failed ? "." : ", yet the installation went on.";
    finding.remedy = RemedyFor(first_error_code_, kGenericRemedy);
    report.findings.push_back(std::move(finding));
  }
  if (restart_required_) report.findings.push_back(std::move(*restart_required_));
  if (restart_pending_) report.findings.push_back(std::move(*restart_pending_));
  if (rollback_) {
    report.findings.push_back(std::move(*rollback_));
  } else if (!windows_engine_ && replayed_after_failure_) {
    report.findings.push_back(std::move(*replayed_after_failure_));
  }
}

}  // namespace triage
