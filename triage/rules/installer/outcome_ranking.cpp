#include "outcome_ranking.h"

#include "codes.h"

namespace triage {

bool OutcomeRanking::StatesFailure(OutcomeSource source, std::optional<int64_t> code,
                                   int64_t return_value) {
  if (source == OutcomeSource::Status || source == OutcomeSource::EngineReturn) {
    return code && !IsInstallerSuccess(*code);
  }
  // 0 too: Wine's msiexec writes it for a failure.
  return return_value == 0 || return_value == 2 || return_value == 3;
}

bool OutcomeRanking::StatesFailure(const OutcomeLine& line) {
  return StatesFailure(line.source, line.code, line.return_value);
}

void OutcomeRanking::Offer(OutcomeSource source, std::optional<int64_t> code, int64_t return_value,
                           std::string_view action, std::optional<int64_t> time,
                           EvidenceKeeper& evidence) {
  OutcomeLine& line = lines_[static_cast<int>(source)];
  // A later line of the same kind never turns a failure into success: one
  // line from elsewhere must not outvote the log.
  if (line.seen && StatesFailure(line) && !StatesFailure(source, code, return_value)) {
    return;
  }
  line.seen = true;
  line.source = source;
  line.code = code;
  line.return_value = return_value;
  line.action.assign(action);
  line.time = time;
  line.evidence = evidence.Keep(line.evidence);
}

const OutcomeLine* OutcomeRanking::Best() const {
  for (int i = 3; i >= 0; --i) {
    if (lines_[i].seen) return &lines_[i];
  }
  return nullptr;
}

}  // namespace triage
