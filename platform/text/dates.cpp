#include "platform/text/dates.h"

#include <cstdio>

namespace velmora::text {

namespace {

// A fixed-width field of digits, e.g. the "05" of "10:05:00".
std::optional<int64_t> Digits(std::string_view text, size_t at, size_t width) {
  if (at + width > text.size()) return std::nullopt;
  int64_t value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<int64_t> CivilSeconds(int64_t year, int64_t month, int64_t day, int64_t hour,
                                    int64_t minute, int64_t second) {
  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60 || hour < 0 || minute < 0 || second < 0) {
    return std::nullopt;
  }
  // Days since 1970-01-01 in the proleptic Gregorian calendar, counting
  // years from March so that the leap day falls at the end.
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = y / 400;
  const int64_t year_of_era = y - era * 400;
  const int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int64_t days = era * 146097 + day_of_era - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::optional<int64_t> ParseClock(std::string_view text) {
  auto hour = Digits(text, 0, 2);
  auto minute = Digits(text, 3, 2);
  auto second = Digits(text, 6, 2);
  if (!hour || !minute || !second || text[2] != ':' || text[5] != ':') return std::nullopt;
  if (*hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  return *hour * 3600 + *minute * 60 + *second;
}

std::optional<int64_t> ParseIsoLikeTime(std::string_view text) {
  auto year = Digits(text, 0, 4);
  auto month = Digits(text, 5, 2);
  auto day = Digits(text, 8, 2);
  if (!year || !month || !day || text.size() < 19) return std::nullopt;
  if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
  auto clock = ParseClock(text.substr(11));
  if (!clock) return std::nullopt;
  auto midnight = CivilSeconds(*year, *month, *day, 0, 0, 0);
  if (!midnight) return std::nullopt;
  return *midnight + *clock;
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

}  // namespace velmora::text
