// The rules over a verbose Windows Installer log (also as Wine's msiexec
// writes it): the attempt it records (product, operation, outcome and its
// evidence) and the findings that explain it: the failing action and the
// errors above it, a cancel, an internal error, restarts and rollback.
// Fed line by line through the grammar; keeps only bounded state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "failure_cause.h"
#include "log_clock.h"
#include "msi_grammar.h"
#include "outcome_ranking.h"
#include "reader.h"

namespace triage {

class MsiLogRules {
 public:
  explicit MsiLogRules(const std::string& file) : file_(file) {}

  void Line(uint64_t number, std::string_view text, EvidenceKeeper& evidence);
  // True once a line of an installer log has been recognised.
  bool Seen() const { return seen_; }
  // The lines recognised so far, a header among them.
  std::size_t Lines() const { return lines_; }
  // Whether the run has ended: its "logging stopped" line, its status line,
  // or its root action ended at the top (Wine writes neither line). A
  // "logging started" line after that begins another run.
  bool Ended() const { return stopped_ || outcome_.From(OutcomeSource::Status).seen || root_done_; }
  // Adds the log's attempt and its findings.
  void End(FileResult& result) const;

 private:
  // A line kept with its evidence and what was known when it was seen.
  struct Marked {
    EvidenceId evidence = kNoEvidence;
    std::string name;  // the action, dialog or custom action
    std::string text;  // the line, cut, for quoting
    std::optional<int64_t> code;
    std::optional<int64_t> time;
    std::vector<EvidenceLine> errors;  // error lines since the action began
    bool in_removal = false;           // it ran in RemoveExistingProducts
  };
  // What the log's end makes of it.
  struct Ending {
    Result result = Result::Unknown;
    std::optional<int64_t> code;
    const OutcomeLine* line = nullptr;
    EvidenceId code_evidence = kNoEvidence;  // the line that states the code
    bool wine_failure = false;
    // A weaker line that says the installation went worse than the best
    // one says: it wins, and a finding names both.
    const OutcomeLine* overruled = nullptr;
  };

  void ActionStart(const MsiLine& line, EvidenceKeeper& evidence);
  void UpgradeLine(const MsiLine& line, std::string_view text);
  void ActionEnded(const MsiLine& line, std::string_view text, EvidenceKeeper& evidence);
  void Property(const MsiLine& line, EvidenceKeeper& evidence);
  void ErrorLine(std::string_view text, std::optional<int64_t> code, uint64_t number,
                 EvidenceKeeper& evidence);
  // `text`: the catalogue's text that says why.
  void Restart(std::string text, EvidenceKeeper& evidence);

  Ending Settle() const;
  Operation OperationOf() const;
  // `where`: the custom action that failed, else the action; `cause`: what
  // the action's error lines state.
  Finding FailedAction(const Marked& action, bool wine, Result result, std::string& where,
                       Cause& cause) const;

  const std::string& file_;
  bool seen_ = false;
  std::size_t lines_ = 0;
  // Lines only Windows' own engine writes. It writes most of a log's lines;
  // one such line among Wine's (a line from elsewhere) is no witness.
  std::size_t engine_lines_ = 0;
  bool WindowsEngine() const { return engine_lines_ >= 2 && engine_lines_ * 8 >= lines_; }
  LogClock clock_;
  OutcomeRanking outcome_;

  int depth_ = 0;
  bool stopped_ = false;
  bool root_done_ = false;
  std::string innermost_;  // the action started last and not yet ended
  // Whether that action is a step of an upgrade whose lines name the older
  // product, told once at its start rather than on every line.
  enum class UpgradeStep { None, Finding, Removing };
  UpgradeStep upgrade_step_ = UpgradeStep::None;
  // Error lines since the last action started (the cause of a failure is
  // logged inside the action that fails), bounded.
  std::vector<EvidenceLine> recent_errors_;
  std::optional<Marked> first_error_;
  std::size_t error_count_ = 0;
  std::optional<Marked> failed_action_;  // the first "Return value 3"
  std::optional<Marked> zero_action_;    // the first "Return value 0": Wine's failure
  std::optional<Marked> cancel_;         // the first "Return value 2": the user left
  // The last few engine notes of internal errors: a message naming one's
  // code soon after is that error's.
  int64_t internal_notes_[4] = {0, 0, 0, 0};
  std::size_t next_note_ = 0;
  bool server_return_ = false;  // the server's engine has said what it returns
  std::optional<Marked> internal_error_;
  std::optional<Marked> restart_;
  std::optional<Marked> restart_pending_;
  std::optional<Marked> rollback_;
  // Wine: the root action ended without success, and the first action
  // started after that (its rollback, run as fresh actions).
  bool root_failed_ = false;
  std::optional<Marked> replayed_;

  std::string product_name_;
  std::string product_version_;
  // An upgrade's older product as the log states it: the product code
  // FindRelatedProducts found, the cached package RemoveExistingProducts
  // could not open, and the version a nested installation of that product
  // names in its own properties.
  std::string older_code_;
  std::string cached_package_;
  std::string nested_code_;
  std::string nested_version_;
  int removal_depth_ = 0;  // RemoveExistingProducts' depth while it runs
  bool remove_all_ = false;
  bool reinstall_ = false;
  bool installed_ = false;
  bool some_features_ = false;
  std::optional<int64_t> language_;  // the user's language id, from the property dump
  // A language id read inside the dump, until a line after it shows the
  // dump went on past it.
  std::optional<int64_t> dumped_language_;
  bool after_property_ = false;  // the line before was a property line
};

}  // namespace triage
