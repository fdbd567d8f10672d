// What the Windows Installer rules say, in plain words: the messages and
// remedies of their findings, apart from the reading that finds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace triage {

struct FailedActionFacts {
  std::string action;
  std::string custom_action;  // the custom action that returned the error, if named
  std::optional<int64_t> code;
  std::string cause;       // the cause in words (failure_cause.h), when the log states one
  std::string error_text;  // the line that states the cause, else the first error line above it
  bool wine = false;       // Wine's "Return value 0"
  // An upgrade's older product, as the log names it: its product code and
  // the cached package Windows looked for.
  std::string older_product;
  std::string older_version;  // when a nested installation of it names it
  std::string cached_package;
};
std::string FailedActionMessage(const FailedActionFacts& facts);

std::string CancelledMessage(std::string_view where);
std::string InternalErrorMessage(int64_t code, std::string_view line);

// `from_action`: the outcome is an action's return value, not the
// installer's own result; `wine_failure`: Wine's 0 for a failure.
std::string OutcomeMessage(bool succeeded, std::optional<int64_t> code, bool from_action,
                           std::string_view action, int64_t return_value, bool wine_failure);

std::string ErrorLineMessage(std::string_view text, std::optional<int64_t> code, std::size_t more,
                             bool went_on);

}  // namespace triage
