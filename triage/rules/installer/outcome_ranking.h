// How a Windows Installer log says the whole installation ended. Several
// lines say it, some better than others: the closing status line, the
// engine's return value, the root action's return value, the last
// top-level action's. The best one present wins; a later line of the same
// kind replaces an earlier one, reusing its kept evidence, unless it would
// turn a failure into success.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reader.h"

namespace triage {

enum class OutcomeSource { TopAction, RootAction, EngineReturn, Status };  // weakest first

struct OutcomeLine {
  bool seen = false;
  OutcomeSource source = OutcomeSource::TopAction;
  std::optional<int64_t> code;  // the result the line states
  int64_t return_value = 0;     // an action's logged return value
  std::string action;
  std::optional<int64_t> time;
  EvidenceId evidence = kNoEvidence;
};

class OutcomeRanking {
 public:
  void Offer(OutcomeSource source, std::optional<int64_t> code, int64_t return_value,
             std::string_view action, std::optional<int64_t> time, EvidenceKeeper& evidence);
  // The strongest line seen; null when none.
  const OutcomeLine* Best() const;
  const OutcomeLine& From(OutcomeSource source) const { return lines_[static_cast<int>(source)]; }

 private:
  // A fatal error or a cancel, by a return value; any code but success.
  static bool StatesFailure(OutcomeSource source, std::optional<int64_t> code,
                            int64_t return_value);
  static bool StatesFailure(const OutcomeLine& line);
  OutcomeLine lines_[4];
};

}  // namespace triage
