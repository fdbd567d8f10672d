// Small text helpers the readers share: prefix tests, number parsing and
// bounded copies. None of them allocate unless they return a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace triage {

// Lines kept as evidence are cut to this many bytes: a megabyte line must not
// make a megabyte finding.
constexpr size_t kMaxKeptLine = 512;

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

inline bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool ContainsNoCase(std::string_view text, std::string_view lower_part);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view text);
// "1 line", "2 lines": a count with its noun, singular or plural.
std::string Counted(int64_t count, std::string_view noun);

// The decimal number at the start of `text` (after optional blanks), with
// `*used` set to the characters it took. Nothing when there is no digit or
// the number does not fit.
std::optional<int64_t> ParseDecimal(std::string_view text, size_t* used = nullptr);
// "0x..." or bare hex digits, at most 16 of them.
std::optional<int64_t> ParseHex(std::string_view text, size_t* used = nullptr);

// Appends code point `c` (at most U+10FFFF) to `out` as UTF-8.
void AppendUtf8(uint32_t c, std::string& out);

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence;
// inline, as nearly every line is short already.
std::string_view CutLongUtf8(std::string_view text, size_t limit);
inline std::string_view CutUtf8(std::string_view text, size_t limit = kMaxKeptLine) {
  return text.size() <= limit ? text : CutLongUtf8(text, limit);
}

// Seconds since 1970-01-01 of a calendar date and time; nothing when a field
// is out of range.
std::optional<int64_t> CivilSeconds(int64_t year, int64_t month, int64_t day, int64_t hour,
                                    int64_t minute, int64_t second);
// "HH:MM:SS" at the start of `text`, as seconds into the day.
std::optional<int64_t> ParseClock(std::string_view text);
// "YYYY/MM/DD HH:MM:SS" or "YYYY-MM-DDTHH:MM:SS" at the start of `text`.
std::optional<int64_t> ParseIsoLikeTime(std::string_view text);

}  // namespace triage
