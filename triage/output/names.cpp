// The names and numbers the outputs show.

#include "outcome.h"

namespace triage {

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Failed:
      return "failed";
    case Verdict::Succeeded:
      return "succeeded";
    case Verdict::Unknown:
      return "unknown";
  }
  return "unknown";
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return "error";
    case Severity::Warning:
      return "warning";
    case Severity::Info:
      return "info";
  }
  return "info";
}

const char* OperationName(Operation operation) {
  switch (operation) {
    case Operation::Install:
      return "install";
    case Operation::Remove:
      return "remove";
    case Operation::Repair:
      return "repair";
    case Operation::Modify:
      return "modify";
    case Operation::Unknown:
      return "unknown";
  }
  return "unknown";
}

const char* ResultName(Result result) {
  switch (result) {
    case Result::Succeeded:
      return "succeeded";
    case Result::Failed:
      return "failed";
    case Result::Cancelled:
      return "cancelled";
    case Result::Unknown:
      return "unknown";
  }
  return "unknown";
}

}  // namespace triage
