// The attempts of every file in time order: by their logs' own clocks
// (a clock that shows the hour modulo 12 put in the half of the day its
// file's time tells), each package placed in the bundle that ran it, and
// the newest attempt that ran by itself, whose the verdict is.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "model.h"

namespace triage {

struct Placed {
  const Attempt* attempt = nullptr;
  std::size_t file = 0;  // in the judgement's files
  int index = 0;         // within its file's result
  int parent = -1;       // the bundle it ran in, by position in the order
};

struct AttemptOrder {
  std::vector<Placed> order;
  int newest = -1;  // position of the newest attempt that ran by itself
  // The newest attempt; a bundle that names no version of its own with its
  // packages' version.
  std::optional<Attempt> newest_attempt;

  // Where the file's `index`-th attempt stands; -1 when it has none.
  int Position(std::size_t file, int index) const;
  // Whether the attempt at `position` is the newest or ran inside it.
  bool Current(int position) const;
};

// Adjusts the files' twelve-hour clocks, then orders their attempts.
AttemptOrder OrderAttempts(std::vector<FileAnswer>& files);

}  // namespace triage
