#include "msi_messages.h"

#include "codes.h"
#include "text.h"

namespace triage {

std::string FailedActionMessage(const FailedActionFacts& facts) {
  std::string message = "Action " + facts.action;
  if (!facts.custom_action.empty() && facts.custom_action != facts.action) {
    message += " failed in custom action " + facts.custom_action;
  } else {
    message += " failed";
  }
  if (facts.wine) {
    message +=
        ": it ended with return value 0. Wine's msiexec logs a failed action so (Windows Installer "
        "would log 3, and means \"not run\" by 0); this log has none of Windows Installer's own "
        "engine lines, so it was most likely written under Wine";
  } else {
    message += " (return value 3: a fatal error)";
  }
  if (!facts.cause.empty()) {
    message += ": " + facts.cause;
  } else if (facts.code) {
    message += "; code " + ExplainInstallerCode(*facts.code);
  }
  if (!facts.error_text.empty()) {
    message += ". The log says just before: \"" + facts.error_text + "\"";
  }
  return message + ".";
}

std::string CancelledMessage(std::string_view where) {
  std::string message = "The user cancelled the installation";
  if (!where.empty())
    message += ": " + std::string(where) + " ended with return value 2 (user exit)";
  return message + "; the installer returned " + ExplainInstallerCode(1602) + ".";
}

std::string InternalErrorMessage(int64_t code, std::string_view line) {
  return "Windows Installer stopped on internal error " + ExplainInstallerCode(code) + ": \"" +
         std::string(line) + "\".";
}

std::string OutcomeMessage(bool succeeded, std::optional<int64_t> code, bool from_action,
                           std::string_view action, int64_t return_value, bool wine_failure) {
  if (!from_action) {
    return std::string(succeeded ? "The installation succeeded" : "The installation failed") +
           "; the installer returned " + ExplainInstallerCode(code.value_or(0)) + ".";
  }
  std::string message =
      "The log ends without the installer's final status; its last top-level action, " +
      std::string(action) + ", ended with return value " + std::to_string(return_value);
  if (wine_failure) {
    message +=
        ", which Wine's msiexec writes for a failure (this log has no lines of Windows "
        "Installer's own engine)";
  } else if (code) {
    message += ", that is result " + ExplainInstallerCode(*code);
  }
  return message + ".";
}

std::string ErrorLineMessage(std::string_view text, std::optional<int64_t> code, std::size_t more,
                             bool went_on) {
  std::string message = "The installer logged an error: \"" + std::string(text) + "\"";
  if (code) {
    if (const CodeInfo* info = FindInstallerCode(*code)) {
      message += std::string(" (") + info->meaning + ")";
    }
  }
  if (more > 0)
    message += ", followed by " + Counted(static_cast<int64_t>(more), "more error line");
  return message + (went_on ? ", yet the installation went on." : ".");
}

}  // namespace triage
