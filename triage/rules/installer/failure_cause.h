// Why a failed installation failed, as an engineer reads it: the most
// specific cause the log states, with its facts and the catalogue's
// explanation. For a failing action: the product error it logged (Error
// NNNN, Note: 1: NNNN; never a system error quoted inside it), else the
// custom action that returned the failure, else nothing (the status says
// the rest).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "knowledge.h"
#include "model.h"

namespace triage {

enum class CauseKind { None, ProductError, CustomAction };

struct Cause {
  CauseKind kind = CauseKind::None;
  std::optional<int64_t> code;
  Facts facts;
  std::string line;  // the log's own line that states it, quoted
  Explanation explained;
};

// The cause among the error lines logged inside a failing action, oldest
// first; `context` adds what other lines of the log state of it (an
// upgrade's older product), never replacing what the lines themselves say.
Cause CauseOfFailedAction(const std::vector<EvidenceLine>& errors, const Facts& context = {});

// The catalogue's explanation of an installer message `code` on `line`
// (an internal error, an error message): its facts read from the line.
Explanation ExplainInstallerLine(int64_t code, std::string_view line);

// "the older version of Merlin SIP could not be removed (1714)": what a
// summary or a message says of a cause.
std::string CauseText(const Explanation& explained, std::optional<int64_t> code);

}  // namespace triage
