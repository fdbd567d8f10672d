#include "msi_messages.h"

#include "codes.h"
#include "knowledge.h"
#include "text.h"

namespace triage {

std::string FailedActionMessage(const FailedActionFacts& facts) {
  const bool inner = !facts.custom_action.empty() && facts.custom_action != facts.action;
  std::string message = Say(inner ? "msi.failed-action.in-custom-action" : "msi.failed-action",
                            {{"action", facts.action}, {"custom_action", facts.custom_action}});
  Append(message, Say(facts.wine ? "msi.failed-action.wine" : "msi.failed-action.fatal"));
  if (!facts.cause.empty()) {
    Append(message, Say("msi.failed-action.cause", {{"cause", facts.cause}}));
  } else if (facts.code) {
    Append(message, Say("msi.failed-action.code", {{"code", ExplainInstallerCode(*facts.code)}}));
  }
  if (!facts.error_text.empty()) {
    Append(message, Say("msi.failed-action.quote", {{"quote", facts.error_text}}));
  }
  if (!facts.older_product.empty()) {
    Append(message, Say(facts.older_version.empty() ? "msi.failed-action.older-product"
                                                    : "msi.failed-action.older-version",
                        {{"product_code", facts.older_product}, {"version", facts.older_version}}));
  }
  if (!facts.cached_package.empty()) {
    Append(message,
           Say("msi.failed-action.cached-package", {{"cached_package", facts.cached_package}}));
  }
  return message + ".";
}

std::string CancelledMessage(std::string_view where) {
  std::string message = Say("msi.cancelled");
  if (!where.empty()) Append(message, Say("msi.cancelled.at", {{"action", std::string(where)}}));
  Append(message, Say("msi.cancelled.returned", {{"code", ExplainInstallerCode(1602)}}));
  return message;
}

std::string InternalErrorMessage(int64_t code, std::string_view line) {
  return Say("msi.internal-error",
             {{"code", ExplainInstallerCode(code)}, {"quote", std::string(line)}});
}

std::string OutcomeMessage(bool succeeded, std::optional<int64_t> code, bool from_action,
                           std::string_view action, int64_t return_value, bool wine_failure) {
  if (!from_action) {
    return Say(succeeded ? "msi.outcome.succeeded" : "msi.outcome.failed",
               {{"code", ExplainInstallerCode(code.value_or(0))}});
  }
  std::string message = Say("msi.outcome.from-action", {{"action", std::string(action)},
                                                        {"value", std::to_string(return_value)}});
  if (wine_failure) {
    Append(message, Say("msi.outcome.wine"));
  } else if (code) {
    Append(message, Say("msi.outcome.result", {{"code", ExplainInstallerCode(*code)}}));
  }
  return message + ".";
}

std::string ErrorLineMessage(std::string_view text, std::optional<int64_t> code, std::size_t more,
                             bool went_on) {
  std::string message = Say("msi.error-message", {{"quote", std::string(text)}});
  if (code) {
    if (const CodeInfo* info = FindInstallerCode(*code)) {
      Append(message, Say("msi.error-message.meaning", {{"meaning", info->meaning}}));
    }
  }
  if (more > 0) Append(message, SayCounted("more-errors", static_cast<int64_t>(more)));
  if (went_on) Append(message, Say("msi.error-message.went-on"));
  return message + ".";
}

}  // namespace triage
