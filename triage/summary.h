// The one sentence that says what happened, before any finding: the
// newest attempt, how and where it ended, and what is installed now.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model.h"

namespace triage {

struct SummaryFacts {
  const Attempt* newest = nullptr;       // the attempt the verdict is
  std::vector<const Attempt*> attempts;  // every attempt, oldest first
  // A failed device-setup section of the Velmora driver that the verdict counts.
  const Finding* driver_failure = nullptr;
  // The finding that decides a failed verdict (Outcome.deciding): the
  // summary names its cause, as the queue and the CSV name its rule and code.
  const Finding* deciding = nullptr;
  // The Velmora products the installed-applications list names, when one was read.
  std::optional<std::vector<Product>> listed;
};

std::string Summarise(const SummaryFacts& facts);

// "on 2026-05-15 at 16:34", or nothing when the log gives no time.
std::string WhenText(const std::optional<int64_t>& time);

}  // namespace triage
