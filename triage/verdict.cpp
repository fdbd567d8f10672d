#include <algorithm>
#include <cstdio>

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

std::string CodeText(int64_t code) {
  if (code >= 0 && code <= 0xFFFF) return std::to_string(code);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(static_cast<uint32_t>(code)));
  return text;
}

Verdict Decide(const Report& report) {
  for (const auto& finding : report.findings) {
    if (finding.severity == Severity::Error) return Verdict::Failed;
  }
  if (report.install_succeeded.value_or(false)) return Verdict::Succeeded;
  return Verdict::Unknown;
}

void OrderBySeverity(Report& report) {
  std::stable_sort(report.findings.begin(), report.findings.end(),
                   [](const Finding& a, const Finding& b) {
                     return static_cast<int>(a.severity) < static_cast<int>(b.severity);
                   });
}

}  // namespace triage
