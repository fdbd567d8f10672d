// A support queue triaged at once: every ticket as a single PATH is, in
// parallel, in bounded memory whatever the queue's size (at most a few
// tickets per job wait to be written), the outputs in ticket-name order
// whatever the jobs. One bad ticket never stops the queue.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "triage_run.h"

namespace triage {

struct QueueOptions {
  std::filesystem::path folder;
  std::string shown;                           // the folder as the engineer gave it
  std::optional<std::filesystem::path> jsonl;  // one JSON line a ticket
  std::optional<std::filesystem::path> csv;    // one row a ticket
  std::optional<std::filesystem::path> html;   // the overview page
  std::optional<std::filesystem::path> pages;  // each ticket's own page, in this folder
  unsigned jobs = 1;
  // Told after each ticket is written, from the thread that called RunQueue.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

struct QueueResult {
  bool listed = false;  // false: the folder could not be read (`problems` says why)
  std::size_t tickets = 0;
  std::size_t unreadable = 0;
  std::string table;     // the console's summary and top signatures
  std::string problems;  // outputs that could not be written, a line each
};

QueueResult RunQueue(const QueueOptions& options, const RunLimits& limits);

}  // namespace triage
