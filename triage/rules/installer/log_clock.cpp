#include "log_clock.h"

#include "text.h"

namespace triage {

void LogClock::Header(std::string_view text) {
  if (midnight_) return;
  const std::optional<HeaderDate> header = ParseHeaderDate(text);
  if (!header) return;
  const int64_t* parts = header->parts;
  int64_t year = 0, month = 0, day = 0;
  if (header->widths[0] == 4) {  // year first: "2026/12/01", "2026-12-01"
    year = parts[0], month = parts[1], day = parts[2];
  } else if (header->separator == '.' || parts[0] > 12) {  // day first, as most locales
    day = parts[0], month = parts[1], year = parts[2];
  } else {  // the United States' month/day/year, unless the log's end says otherwise
    month = parts[0], day = parts[1], year = parts[2];
    ambiguous_ = parts[1] <= 12 && parts[0] != parts[1];
  }
  for (int i = 0; i < 3; ++i) parts_[i] = parts[i];
  if (year < 100) year += 2000;
  midnight_ = CivilSeconds(year, month, day, 0, 0, 0);
  if (midnight_ && header->clock) {
    start_ = *midnight_ + *header->clock;
    last_ = start_;
    last_clock_ = *header->clock;
  }
}

int64_t LogClock::Correction(std::optional<int64_t> language) const {
  // The locales that write the month first: English (United States and
  // the Philippines), Filipino, Spanish (United States).
  static constexpr int64_t kMonthFirst[] = {1033, 13321, 1124, 21514};
  if (!ambiguous_ || !language || !midnight_) return 0;
  for (const int64_t id : kMonthFirst) {
    if (*language == id) return 0;
  }
  const int64_t year = parts_[2] < 100 ? parts_[2] + 2000 : parts_[2];
  const auto day_first = CivilSeconds(year, parts_[1], parts_[0], 0, 0, 0);
  return day_first ? *day_first - *midnight_ : 0;
}

std::optional<int64_t> LogClock::At(std::optional<int64_t> clock) {
  if (!clock) return std::nullopt;
  if (last_clock_ >= 0 && *clock + 6 * 3600 < last_clock_) day_offset_ += 86400;
  last_clock_ = *clock;
  if (!midnight_) return std::nullopt;
  // The time is returned from a local: reading `last_` back as a whole just
  // after storing its parts stalls the processor on every action line.
  const int64_t at = *midnight_ + day_offset_ + *clock;
  last_ = at;
  return at;
}

}  // namespace triage
