// Calendar dates and clock times as seconds since 1970-01-01 (of whatever
// clock wrote them), in the proleptic Gregorian calendar.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::text {

// Seconds since 1970-01-01 of a calendar date and time; nothing when a field
// is out of range.
std::optional<int64_t> CivilSeconds(int64_t year, int64_t month, int64_t day, int64_t hour,
                                    int64_t minute, int64_t second);
// "HH:MM:SS" at the start of `text`, as seconds into the day.
std::optional<int64_t> ParseClock(std::string_view text);
// "YYYY/MM/DD HH:MM:SS" or "YYYY-MM-DDTHH:MM:SS" at the start of `text`.
std::optional<int64_t> ParseIsoLikeTime(std::string_view text);

// "2026-12-01T10:15:04": seconds since 1970 as a date and time.
std::string IsoTime(int64_t seconds);

}  // namespace velmora::text
