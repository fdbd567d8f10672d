// What a queue of tickets shows as a whole: counts by verdict, the failure
// signatures that recur (rule, code, failing action or section, product
// version) with their share and example tickets, and the tickets by
// product version and by Windows version. Bounded whatever the queue's
// size: past a few thousand distinct keys, the rest are counted together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "outcome.h"

namespace triage {

// One ticket as the overview and the spreadsheet see it.
struct TicketFacts {
  std::string name;
  std::string verdict;  // "failed", "succeeded", "unknown" or "unreadable"
  std::string product;
  std::string version;
  std::string windows;          // the system's name
  std::string windows_version;  // and version
  // The finding that decides a failed ticket: the first error.
  std::string rule;
  std::optional<int64_t> code;
  std::string where;
  std::string page;  // its own page, relative to the overview; "" when none
};

TicketFacts FactsOf(const std::string& ticket, const Outcome& outcome);

class Overview {
 public:
  void Add(const TicketFacts& ticket);
  // The console's table of the top signatures.
  std::string Table() const;
  // The overview page: self-contained, no script, bars drawn as SVG.
  std::string Page(const std::string& source) const;
  std::size_t unreadable() const { return verdicts_[3]; }

 private:
  using Key = std::tuple<std::string, std::optional<int64_t>, std::string, std::string>;
  struct Tally {
    std::size_t count = 0;
    std::vector<std::pair<std::string, std::string>> examples;  // name, page
  };
  struct Spread {
    std::size_t tickets = 0;
    std::size_t failed = 0;
  };
  static constexpr std::size_t kMostKeys = 5000;
  static constexpr std::size_t kExamples = 3;
  static constexpr std::size_t kTop = 20;

  std::vector<std::pair<Key, const Tally*>> Top() const;
  static void Count(std::map<std::string, Spread>& spreads, const std::string& key, bool failed);

  std::size_t tickets_ = 0;
  std::size_t verdicts_[4] = {0, 0, 0, 0};  // failed, succeeded, unknown, unreadable
  std::size_t failed_ = 0;
  std::map<Key, Tally> signatures_;
  std::size_t other_signatures_ = 0;  // failures past kMostKeys distinct signatures
  std::map<std::string, Spread> versions_;
  std::map<std::string, Spread> windows_;
};

}  // namespace triage
