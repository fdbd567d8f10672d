// The rules over a verbose Windows Installer log (also as Wine's msiexec
// writes it): product, outcome, the failing action and the errors above it,
// restarts and rollback. Fed line by line; keeps only bounded state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context_ring.h"
#include "model.h"

namespace triage {

class MsiLogRules {
 public:
  explicit MsiLogRules(const std::string& file) : file_(file) {}

  // `ring` already holds this line as its latest.
  void Line(uint64_t number, std::string_view text, const ContextRing& ring);
  // True once a line of an installer log has been recognised.
  bool Seen() const { return seen_; }
  void End(Report& report);

 private:
  // What the log says the whole installation ended with; a later candidate
  // replaces an earlier one of the same or lower rank. Every top-level action
  // is a candidate, so only its line and a bounded copy of the lines above it
  // are kept, in buffers that are reused; the finding is made at the end.
  struct Outcome {
    int rank = 0;
    std::optional<int64_t> code;
    int64_t logged_value = 0;  // the return value, for an outcome from an action
    std::string action;
    uint64_t line = 0;
    std::optional<int64_t> time;
    ContextRing context;
  };

  void EngineLine(uint64_t number, std::string_view payload, std::string_view text,
                  const ContextRing& ring);
  void ActionStart(uint64_t number, std::string_view rest, const ContextRing& ring);
  void ActionEnded(uint64_t number, std::string_view rest, const ContextRing& ring);
  void PropertyLine(uint64_t number, std::string_view text, const ContextRing& ring);
  void ErrorLine(uint64_t number, std::string_view text, std::optional<int64_t> code);
  void HeaderLine(std::string_view text);
  void SetOutcome(int rank, std::optional<int64_t> code, uint64_t number, const ContextRing& ring,
                  std::optional<int64_t> time);
  void Restart(uint64_t number, const ContextRing& ring, std::string message);
  std::optional<int64_t> TimeAt(std::optional<int64_t> clock);

  Finding FailedActionFinding(bool wine_failure) const;
  void EmitOutcome(Report& report);

  const std::string& file_;
  bool seen_ = false;
  bool windows_engine_ = false;  // lines only Windows' own engine writes

  std::optional<int64_t> date_;  // midnight of the log's start, from its header
  int64_t last_clock_ = -1;
  int64_t day_offset_ = 0;

  int depth_ = 0;
  // Error lines since the last action started (the cause of a failure is
  // logged inside the action that fails), bounded.
  std::vector<EvidenceLine> recent_errors_;
  std::optional<EvidenceLine> first_error_;
  std::optional<int64_t> first_error_code_;
  size_t error_count_ = 0;

  // The first action that failed (return value 3), with what was known then.
  struct FailedAction {
    std::string name;
    int64_t logged_value = 0;
    uint64_t line = 0;
    std::optional<int64_t> time;
    std::vector<EvidenceLine> context;
    std::vector<EvidenceLine> errors;
  };
  std::optional<FailedAction> failed_action_;
  // The first action logged with return value 0: Wine's msiexec writes a
  // failure so, where Windows means an action that was not run.
  std::optional<FailedAction> zero_action_;

  Outcome outcome_;
  bool has_outcome_ = false;
  std::optional<Finding> restart_required_;
  std::optional<Finding> restart_pending_;
  std::optional<Finding> rollback_;
  // The root action (INSTALL) ended without success, and the first action
  // started after that.
  bool top_failed_ = false;
  std::optional<Finding> replayed_after_failure_;

  std::string product_name_;
  std::string product_version_;
};

}  // namespace triage
