#include "msi_log.h"

#include <utility>

#include "catalogue.h"
#include "codes.h"
#include "finding.h"
#include "knowledge.h"
#include "message_facts.h"
#include "msi_messages.h"
#include "text.h"

namespace triage {
namespace {

constexpr std::size_t kKeptErrors = 4;

// Message numbers whose notes report a failure: files (1304-1311), another
// installation (1500), custom actions (1721-1723), services and assemblies
// (1920-1939). 1708, "installation failed", is the outcome itself.
bool IsFailureNote(int64_t code) {
  return (code >= 1304 && code <= 1311) || code == 1500 || (code >= 1721 && code <= 1723) ||
         (code >= 1920 && code <= 1939);
}

bool IsInternalError(int64_t code) { return code >= 2000 && code <= 2999; }

// Whether `text` holds `number` as a number of its own.
bool NamesNumber(std::string_view text, int64_t number) {
  const std::string digits = std::to_string(number);
  for (std::size_t at = text.find(digits); at != std::string_view::npos;
       at = text.find(digits, at + 1)) {
    const bool before = at > 0 && text[at - 1] >= '0' && text[at - 1] <= '9';
    const std::size_t end = at + digits.size();
    const bool after = end < text.size() && text[end] >= '0' && text[end] <= '9';
    if (!before && !after) return true;
  }
  return false;
}

bool IsRoot(std::string_view action) {
  return action == "INSTALL" || action == "ADMIN" || action == "ADVERTISE";
}

Result ResultOf(int64_t code) {
  return code == 1602               ? Result::Cancelled
         : IsInstallerSuccess(code) ? Result::Succeeded
                                    : Result::Failed;
}

// The worse of two results: a failure, then a cancel, then success.
Result Worse(Result a, Result b) {
  for (const Result result : {Result::Failed, Result::Cancelled, Result::Succeeded}) {
    if (a == result || b == result) return result;
  }
  return Result::Unknown;
}

// The code a line states outright: the engine's and the status line's, an
// action's fatal error or cancel. Other return values (0: not run) are no
// word on the whole installation.
std::optional<int64_t> StatedCode(const OutcomeLine& line) {
  if (line.source == OutcomeSource::Status || line.source == OutcomeSource::EngineReturn) {
    return line.code;
  }
  if (line.return_value == 2 || line.return_value == 3) return ReturnValueToCode(line.return_value);
  return std::nullopt;
}

}  // namespace

void MsiLogRules::Line(uint64_t number, std::string_view text, EvidenceKeeper& evidence) {
  const MsiLine line = ParseMsiLine(text);
  // A language id is the dump's once the log goes on past it: a line that
  // ends a log (appended to it, or one a cut leaves last) is no witness.
  if (dumped_language_) language_ = std::exchange(dumped_language_, std::nullopt);
  const bool after_property = after_property_;
  after_property_ = line.kind == MsiLineKind::Property;
  if (line.kind != MsiLineKind::Other) ++lines_;
  if (upgrade_step_ != UpgradeStep::None) UpgradeLine(line, text);
  if (line.engine) {
    seen_ = true;
    ++engine_lines_;
  }
  switch (line.kind) {
    case MsiLineKind::Header:
      seen_ = true;
      clock_.Header(line.value);
      stopped_ = stopped_ || !Contains(text, "ogging started");
      return;
    case MsiLineKind::ActionStart:
      seen_ = true;
      ActionStart(line, evidence);
      return;
    case MsiLineKind::ActionEnded:
      seen_ = true;
      ActionEnded(line, text, evidence);
      return;
    case MsiLineKind::Property:
      seen_ = true;
      // The dump is a run of property lines: a language id that follows
      // none is a line from elsewhere.
      if (line.name == "UserLanguageID") {
        if (after_property) dumped_language_ = ParseDecimal(line.value);
        return;
      }
      Property(line, evidence);
      return;
    case MsiLineKind::ErrorMessage:
    case MsiLineKind::ProductError:
      if (line.number != 1708) ErrorLine(text, line.number, number, evidence);
      return;
    case MsiLineKind::CustomAction:
    case MsiLineKind::Hresult:
      ErrorLine(text, line.number, number, evidence);
      return;
    case MsiLineKind::Note:
      if (line.number && IsFailureNote(*line.number)) {
        ErrorLine(text, line.number, number, evidence);
      } else if (line.number && IsInternalError(*line.number)) {
        internal_notes_[next_note_++ % 4] = *line.number;
      }
      return;
    case MsiLineKind::ProductMessage:
      // "Product: X -- The installer has encountered an unexpected error
      // ... The error code is 2503.": a code the engine noted just before.
      if (!internal_error_) {
        for (const int64_t code : internal_notes_) {
          if (code != 0 && NamesNumber(line.value, code)) {
            internal_error_ =
                Marked{evidence.Keep(), "", std::string(QuoteText(text)), code, {}, {}};
            break;
          }
        }
      }
      return;
    case MsiLineKind::Rollback:
      if (!rollback_) {
        const std::string_view step = Trim(text.substr(std::min<std::size_t>(text.size(), 10)));
        rollback_ = Marked{evidence.Keep(), "", std::string(CutUtf8(step, 200)), {}, {}, {}};
      }
      return;
    case MsiLineKind::Info1903:
      Restart("msi.restart-required.files-in-use", evidence);
      return;
    case MsiLineKind::RestartNeeded:
      Restart("msi.restart-required.logged", evidence);
      return;
    case MsiLineKind::EngineReturn:
      // The server runs the installation; the client only passes its result on.
      if (line.server || !server_return_) {
        outcome_.Offer(OutcomeSource::EngineReturn, line.number, 0, "", clock_.At(line.clock),
                       evidence);
      }
      server_return_ = server_return_ || line.server;
      return;
    case MsiLineKind::Status:
      outcome_.Offer(OutcomeSource::Status, line.number, 0, "", clock_.At(line.clock), evidence);
      if (product_name_.empty()) product_name_ = std::string(CutUtf8(line.name, 200));
      if (product_version_.empty()) product_version_ = std::string(CutUtf8(line.value, 100));
      return;
    default:
      return;
  }
}

void MsiLogRules::UpgradeLine(const MsiLine& line, std::string_view text) {
  if (upgrade_step_ == UpgradeStep::Finding && older_code_.empty()) {
    // "FindRelatedProducts: Found application: {7E3D2B10-...}", or the
    // upgrade's property set to it: "PROPERTY CHANGE: Adding
    // WIX_UPGRADE_DETECTED property. Its value is '{7E3D2B10-...}'."
    for (const std::string_view marker : {"Found application: {", "Its value is '{"}) {
      const std::size_t at = text.find(marker);
      if (at == std::string_view::npos) continue;
      const std::string_view code = text.substr(at + marker.size() - 1, 38);
      if (code.size() == 38 && code.back() == '}') older_code_ = std::string(code);
      break;
    }
  } else if (upgrade_step_ == UpgradeStep::Removing && cached_package_.empty() &&
             line.kind == MsiLineKind::Note && line.number == 2203) {
    // "Note: 1: 2203 2: C:\Windows\Installer\3f1a2c.msi 3: -2147287038": the
    // older product's cached package could not be opened.
    const MessageFacts read = ReadInstallerMessage(text);
    const auto file = read.facts.find("file");
    std::string_view path;
    if (file != read.facts.end()) path = file->second;
    if (ContainsNoCase(path, "\\installer\\") && path.size() > 4 &&
        ContainsNoCase(path.substr(path.size() - 4), ".msi")) {
      cached_package_ = std::string(path);
    }
  }
}

void MsiLogRules::ActionStart(const MsiLine& line, EvidenceKeeper& evidence) {
  // Wine's msiexec runs its rollback as fresh top-level actions after the
  // failed installation has ended.
  if (root_failed_ && depth_ == 0 && !replayed_) {
    replayed_ = Marked{evidence.Keep(), std::string(line.name), "", {}, {}, {}};
  }
  clock_.At(line.clock);
  // An action's description line and its start line are one start.
  if (depth_ > 0 && line.name == innermost_) return;
  ++depth_;
  innermost_.assign(CutUtf8(line.name, 120));
  const std::string_view started = innermost_;
  upgrade_step_ = started == std::string_view("FindRelatedProducts")      ? UpgradeStep::Finding
                  : started == std::string_view("RemoveExistingProducts") ? UpgradeStep::Removing
                                                                          : UpgradeStep::None;
  if (line.name == "RemoveExistingProducts" && removal_depth_ == 0) removal_depth_ = depth_;
  // The errors of an earlier action do not explain a later one.
  recent_errors_.clear();
}

void MsiLogRules::ActionEnded(const MsiLine& line, std::string_view text,
                              EvidenceKeeper& evidence) {
  const std::optional<int64_t> time = clock_.At(line.clock);
  const bool top_level = depth_ <= 1;
  // An action that ends while RemoveExistingProducts runs belongs to the
  // older product's removal, nested in this log.
  const bool in_removal = removal_depth_ > 0 && depth_ >= removal_depth_;
  if (removal_depth_ > 0 && depth_ <= removal_depth_) removal_depth_ = 0;
  if (depth_ > 0) --depth_;
  innermost_.clear();
  upgrade_step_ = UpgradeStep::None;
  const int64_t value = line.number.value_or(-1);
  const std::string_view name = CutUtf8(line.name, 120);
  const auto mark = [&]() {
    return Marked{evidence.Keep(), std::string(name), std::string(CutUtf8(Trim(text))), value, time,
                  recent_errors_,  in_removal};
  };
  if (value == 3 && !failed_action_) failed_action_ = mark();
  if (value == 0 && !zero_action_) zero_action_ = mark();
  if (value == 2 && !cancel_) cancel_ = mark();
  if (top_level) {
    // The root of a sequence says how the whole run ended; other top-level
    // actions only when no root has ended.
    const bool root = IsRoot(name);
    if (root && value != 1) root_failed_ = true;
    if (root && depth_ == 0) root_done_ = true;
    outcome_.Offer(root ? OutcomeSource::RootAction : OutcomeSource::TopAction, std::nullopt, value,
                   name, time, evidence);
  }
}

void MsiLogRules::Property(const MsiLine& line, EvidenceKeeper& evidence) {
  const std::string_view name = line.name;
  const std::string_view value = line.value;
  // A nested installation's version is the older product's when its code
  // is that product's.
  if (line.origin == 'N' && name == "ProductCode" && nested_code_.empty())
    nested_code_ = std::string(CutUtf8(value, 40));
  if (line.origin == 'N' && name == "ProductVersion" && nested_version_.empty())
    nested_version_ = std::string(CutUtf8(value, 100));
  if (name == "ProductName") {
    product_name_ = std::string(CutUtf8(value, 200));
  } else if (name == "ProductVersion") {
    product_version_ = std::string(CutUtf8(value, 100));
  } else if (name == "MsiSystemRebootPending" && value == "1") {
    if (!restart_pending_) restart_pending_ = Marked{evidence.Keep(), "", "", {}, {}, {}};
  } else if (name == "ReplacedInUseFiles" && value == "1") {
    Restart("msi.restart-required.replaced", evidence);
  } else if (line.origin == 'N') {
    // A nested installation's own properties (its REMOVE=ALL of an old
    // version during an upgrade) say nothing of this one's operation.
  } else if (name == "REMOVE") {
    remove_all_ = remove_all_ || EqualsNoCase(value, "ALL");
    some_features_ = some_features_ || (!value.empty() && !EqualsNoCase(value, "ALL"));
  } else if (name == "ADDLOCAL") {
    some_features_ = some_features_ || !value.empty();
  } else if (name == "REINSTALL") {
    reinstall_ = reinstall_ || !value.empty();
  } else if (name == "Installed") {
    installed_ = installed_ || !value.empty();
  }
}

void MsiLogRules::ErrorLine(std::string_view text, std::optional<int64_t> code, uint64_t number,
                            EvidenceKeeper& evidence) {
  seen_ = true;
  ++error_count_;
  if (!first_error_) {
    first_error_ = Marked{evidence.Keep(), "", std::string(QuoteText(text)), code, {}, {}};
  }
  if (recent_errors_.size() < kKeptErrors) {
    recent_errors_.push_back({number, std::string(CutUtf8(text))});
  }
}

void MsiLogRules::Restart(std::string text, EvidenceKeeper& evidence) {
  if (restart_) return;
  restart_ = Marked{evidence.Keep(), "", std::move(text), {}, {}, {}};
}

MsiLogRules::Ending MsiLogRules::Settle() const {
  Ending ending;
  ending.line = outcome_.Best();
  if (ending.line == nullptr) return ending;
  const OutcomeLine& best = *ending.line;
  ending.code_evidence = best.evidence;
  if (best.source == OutcomeSource::Status || best.source == OutcomeSource::EngineReturn) {
    ending.code = best.code;
    // A restart is the engine's to say: its status line says 0 for success.
    const OutcomeLine& engine = outcome_.From(OutcomeSource::EngineReturn);
    if (best.source == OutcomeSource::Status && best.code == 0 && engine.seen && engine.code &&
        IsRestartCode(*engine.code)) {
      ending.code = engine.code;
      ending.code_evidence = engine.evidence;
    }
  } else if (!WindowsEngine() && best.return_value == 0) {
    // Wine's convention, not Windows': 0 is a failure there.
    ending.wine_failure = true;
    ending.result = Result::Failed;
    return ending;
  } else {
    ending.code = ReturnValueToCode(best.return_value);
  }
  if (ending.code) ending.result = ResultOf(*ending.code);
  // Lines that disagree never add up to success: the worse one wins.
  for (int i = 3; i >= 0 && ending.result != Result::Failed; --i) {
    const OutcomeLine& other = outcome_.From(static_cast<OutcomeSource>(i));
    if (!other.seen || &other == ending.line) continue;
    // Wine's 0 for a failing action is a failure too.
    const std::optional<int64_t> code = !WindowsEngine() && other.source != OutcomeSource::Status &&
                                                other.source != OutcomeSource::EngineReturn &&
                                                other.return_value == 0
                                            ? std::optional<int64_t>(1603)
                                            : StatedCode(other);
    if (!code) continue;
    const Result said = ResultOf(*code);
    if (said == ending.result || Worse(said, ending.result) != said) continue;
    ending.overruled = ending.line;
    ending.line = &other;
    ending.code = code;
    ending.code_evidence = other.evidence;
    ending.result = ResultOf(*code);
  }
  return ending;
}

Operation MsiLogRules::OperationOf() const {
  if (remove_all_) return Operation::Remove;
  if (installed_ && reinstall_) return Operation::Repair;
  if (installed_ && some_features_) return Operation::Modify;
  return Operation::Install;
}

Finding MsiLogRules::FailedAction(const Marked& action, bool wine, Result result,
                                  std::string& where, Cause& cause) const {
  Finding finding = MakeFinding("msi.failed-action", file_);
  finding.evidence = action.evidence;
  finding.time = action.time;
  finding.also = action.errors;
  if (result == Result::Succeeded) finding.severity = Severity::Warning;

  FailedActionFacts facts;
  facts.action = action.name;
  facts.wine = wine;
  for (const EvidenceLine& error : action.errors) {
    const MsiLine line = ParseMsiLine(error.text);
    if (line.kind == MsiLineKind::CustomAction) {
      facts.custom_action = std::string(line.name);
      break;
    }
  }
  // The upgrade's older product, for a cause inside the action that removes it.
  Facts upgrade;
  if (action.in_removal) {
    if (!older_code_.empty()) upgrade["product_code"] = older_code_;
    if (!cached_package_.empty()) upgrade["cached_package"] = cached_package_;
    if (!nested_version_.empty() && !older_code_.empty() && EqualsNoCase(nested_code_, older_code_))
      upgrade["version"] = nested_version_;
  }
  cause = CauseOfFailedAction(action.errors, upgrade);
  if (action.in_removal) {
    facts.older_product = upgrade["product_code"];
    facts.older_version = upgrade["version"];
    facts.cached_package = upgrade["cached_package"];
  }
  facts.code = cause.code;
  if (cause.kind != CauseKind::None) {
    facts.cause = CauseText(cause.explained, cause.code);
    facts.error_text = cause.line;
  } else if (!action.errors.empty()) {
    facts.error_text = std::string(QuoteText(action.errors.front().text));
  }
  if (!facts.code && !wine) facts.code = ReturnValueToCode(3);
  finding.code = facts.code;
  where = facts.custom_action.empty() ? facts.action : facts.custom_action;
  finding.where = where;
  finding.message = FailedActionMessage(facts);
  finding.remedy = cause.kind != CauseKind::None
                       ? cause.explained.remedy
                       : ExplainRule("msi.failed-action", {{"action", facts.action}}).remedy;
  return finding;
}

void MsiLogRules::End(FileResult& result) const {
  if (!seen_) return;
  result.understood = true;
  const Ending ending = Settle();
  const int index = static_cast<int>(result.attempts.size());
  const bool succeeded = ending.result == Result::Succeeded;

  Attempt attempt;
  attempt.time = clock_.start();
  attempt.end = clock_.last();
  attempt.file = file_;
  attempt.product = product_name_;
  attempt.version = product_version_;
  attempt.operation = OperationOf();
  attempt.outcome = ending.result;
  attempt.code = ending.code;
  attempt.rolled_back = rollback_.has_value() || (!WindowsEngine() && replayed_.has_value());
  attempt.twelve_hour = !WindowsEngine();
  attempt.restart = (ending.code && IsRestartCode(*ending.code)) || (succeeded && restart_);
  // The failing action: the first that ended with 3 (with Wine's 0).
  std::optional<Finding> failed;
  std::string where;
  Cause cause;
  if (failed_action_ && ending.result != Result::Cancelled) {
    failed = FailedAction(*failed_action_, false, ending.result, where, cause);
  } else if (ending.result == Result::Failed && !WindowsEngine() && zero_action_) {
    failed = FailedAction(*zero_action_, true, ending.result, where, cause);
  }
  // The deciding cause: what the failing action states, else the internal
  // error, else the first error message; the status only when none is.
  const bool action_states = failed && cause.kind != CauseKind::None;
  const bool internal_decides = !action_states && internal_error_.has_value();
  std::optional<Explanation> internal;
  if (internal_error_)
    internal = ExplainInstallerLine(*internal_error_->code, internal_error_->text);
  if (ending.line != nullptr) attempt.evidence = ending.line->evidence;
  if (ending.result == Result::Failed) {
    if (failed) {
      attempt.evidence = failed->evidence;
      attempt.where = where;
      attempt.cause = failed->code;
      if (action_states) attempt.reason = failed->cause = CauseText(cause.explained, cause.code);
    } else if (internal_error_) {
      attempt.evidence = internal_error_->evidence;
    }
    if (internal_decides) {
      attempt.cause = internal_error_->code;
      attempt.reason = CauseText(*internal, internal_error_->code);
    }
  } else if (ending.result == Result::Cancelled && cancel_) {
    attempt.evidence = cancel_->evidence;
    attempt.where = cancel_->name;
  }
  result.attempts.push_back(attempt);

  std::vector<Finding>& findings = result.findings;
  const std::size_t first = findings.size();
  bool explained = failed.has_value();
  // One failure, one error: what does not decide is told at a lower rank.
  if (failed && internal_decides && failed->severity == Severity::Error) {
    failed->severity = Severity::Warning;
  }
  if (failed) findings.push_back(std::move(*failed));
  if (ending.result == Result::Cancelled) {
    Finding finding = MakeFinding("msi.cancelled", file_);
    finding.evidence = cancel_ ? cancel_->evidence : attempt.evidence;
    finding.time = cancel_ ? cancel_->time : std::nullopt;
    finding.code = 1602;
    finding.message = CancelledMessage(cancel_ ? cancel_->name : "");
    finding.where = cancel_ ? cancel_->name : "";
    findings.push_back(std::move(finding));
    explained = true;
  }
  if (internal_error_) {
    Finding finding = MakeFinding("msi.internal-error", file_);
    finding.evidence = internal_error_->evidence;
    finding.code = internal_error_->code;
    finding.message = InternalErrorMessage(*internal_error_->code, internal_error_->text);
    finding.remedy = internal->remedy;
    finding.cause = CauseText(*internal, internal_error_->code);
    if (succeeded || !internal_decides) finding.severity = Severity::Warning;
    findings.push_back(std::move(finding));
    explained = true;
  }
  if (ending.line == nullptr) {
    Finding finding = MakeFinding("msi.no-outcome", file_);
    finding.message = Say("msi.no-outcome");
    findings.push_back(std::move(finding));
  } else {
    const OutcomeLine& line = *ending.line;
    Finding finding = MakeFinding("msi.outcome", file_);
    finding.evidence = line.evidence;
    finding.time = line.time;
    finding.code = ending.code;
    // A failure the log explains makes the status its consequence.
    finding.severity = succeeded || explained || (first_error_ && ending.result == Result::Failed)
                           ? Severity::Info
                           : Severity::Error;
    const bool from_action =
        line.source == OutcomeSource::TopAction || line.source == OutcomeSource::RootAction;
    finding.message = OutcomeMessage(succeeded, ending.code, from_action, line.action,
                                     line.return_value, ending.wine_failure);
    if (ending.code) finding.remedy = Explain(CodeKind::Installer, *ending.code, {}).remedy;
    findings.push_back(std::move(finding));
    if (ending.overruled != nullptr) {
      const OutcomeLine& said = *ending.overruled;
      Finding conflict = MakeFinding("msi.conflicting-outcome", file_);
      conflict.evidence = said.evidence;
      conflict.time = said.time;
      conflict.code = StatedCode(said).value_or(ReturnValueToCode(said.return_value).value_or(0));
      conflict.message = Say("msi.conflicting-outcome",
                             {{"said", ExplainInstallerCode(*conflict.code)},
                              {"taken", ExplainInstallerCode(ending.code.value_or(0))}});
      findings.push_back(std::move(conflict));
    }
  }
  if (!explained && first_error_) {
    Finding finding = MakeFinding("msi.error-message", file_);
    finding.evidence = first_error_->evidence;
    finding.code = first_error_->code;
    if (ending.result != Result::Failed) finding.severity = Severity::Warning;
    finding.message =
        ErrorLineMessage(first_error_->text, first_error_->code, error_count_ - 1, succeeded);
    if (first_error_->code) {
      const Explanation said = ExplainInstallerLine(*first_error_->code, first_error_->text);
      finding.remedy = said.remedy;
      finding.cause = CauseText(said, first_error_->code);
      if (ending.result == Result::Failed && attempt.reason.empty()) {
        result.attempts[static_cast<std::size_t>(index)].reason =
            CauseText(said, first_error_->code);
      }
    }
    findings.push_back(std::move(finding));
  }
  if (ending.code && IsRestartCode(*ending.code)) {
    Finding finding = MakeFinding("msi.restart-required", file_);
    finding.evidence = ending.code_evidence;
    finding.code = ending.code;
    finding.message =
        Say("msi.restart-required.returned", {{"code", std::to_string(*ending.code)}});
    findings.push_back(std::move(finding));
  } else if (restart_) {
    Finding finding = MakeFinding("msi.restart-required", file_);
    finding.evidence = restart_->evidence;
    finding.message = Say(restart_->text);
    findings.push_back(std::move(finding));
  }
  if (restart_pending_) {
    Finding finding = MakeFinding("msi.restart-pending", file_);
    finding.evidence = restart_pending_->evidence;
    finding.message = Say("msi.restart-pending");
    findings.push_back(std::move(finding));
  }
  if (rollback_) {
    Finding finding = MakeFinding("msi.rollback", file_);
    finding.evidence = rollback_->evidence;
    finding.message = Say("msi.rollback", {{"step", rollback_->text}});
    findings.push_back(std::move(finding));
  } else if (!WindowsEngine() && replayed_) {
    Finding finding = MakeFinding("msi.rollback", file_);
    finding.evidence = replayed_->evidence;
    finding.message = Say("msi.rollback.wine");
    findings.push_back(std::move(finding));
  }
  // Only Windows' engine logs the property dump the language comes from: a
  // language id in a log without its lines (Wine's) is a line from elsewhere.
  const int64_t shift = WindowsEngine() ? clock_.Correction(language_) : 0;
  const auto shifted = [shift](std::optional<int64_t>& time) {
    if (time) *time += shift;
  };
  shifted(result.attempts[static_cast<std::size_t>(index)].time);
  shifted(result.attempts[static_cast<std::size_t>(index)].end);
  for (std::size_t i = first; i < findings.size(); ++i) {
    findings[i].attempt = index;
    shifted(findings[i].time);
  }
}

}  // namespace triage
