// The rules over a WiX bundle (Burn) log: lines of the form
// "[pid:tid][2026-12-01T10:15:04]e000: Error 0x80070643: ...".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "context_ring.h"
#include "model.h"

namespace triage {

class BurnLogRules {
 public:
  explicit BurnLogRules(const std::string& file) : file_(file) {}

  // Returns false when `text` is not a bundle log line. `ring` already holds
  // this line as its latest.
  bool Line(uint64_t number, std::string_view text, const ContextRing& ring);
  bool Seen() const { return seen_; }
  void End(Report& report);

 private:
  void Message(uint64_t number, char level, std::string_view body, std::optional<int64_t> time,
               const ContextRing& ring);

  const std::string& file_;
  bool seen_ = false;
  size_t error_count_ = 0;
  std::optional<Finding> first_error_;
  std::optional<Finding> package_failed_;
  std::optional<Finding> outcome_;
  std::optional<int64_t> outcome_code_;
  std::optional<Finding> restart_;
  std::string bundle_name_;
  std::string bundle_version_;
};

}  // namespace triage
