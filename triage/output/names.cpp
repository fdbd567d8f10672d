// The names and numbers the outputs show.
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

std::string IsoTime(int64_t seconds) {
  // Days since 1970-01-01 back to a civil date, years counted from March.
  const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const int64_t in_day = seconds - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(in_day / 3600),
                static_cast<long long>(in_day / 60 % 60), static_cast<long long>(in_day % 60));
  return text;
}

}  // namespace triage
