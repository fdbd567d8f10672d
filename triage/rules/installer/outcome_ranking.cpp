#include "outcome_ranking.h"

namespace triage {

void OutcomeRanking::Offer(OutcomeSource source, std::optional<int64_t> code, int64_t return_value,
                           std::string_view action, std::optional<int64_t> time,
                           EvidenceKeeper& evidence) {
  OutcomeLine& line = lines_[static_cast<int>(source)];
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
