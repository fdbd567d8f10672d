#include "text.h"

namespace triage {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A fixed-width field of digits, e.g. the "05" of "10:05:00".
std::optional<int64_t> Digits(std::string_view text, size_t at, size_t width) {
  if (at + width > text.size()) return std::nullopt;
  int64_t value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

bool ContainsNoCase(std::string_view text, std::string_view lower_part) {
  if (lower_part.empty()) return true;
  if (text.size() < lower_part.size()) return false;
  const char first = lower_part[0];
  for (size_t i = 0; i + lower_part.size() <= text.size(); ++i) {
    if (Lower(text[i]) != first) continue;
    size_t j = 1;
    while (j < lower_part.size() && Lower(text[i + j]) == lower_part[j]) ++j;
    if (j == lower_part.size()) return true;
  }
  return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<int64_t> ParseDecimal(std::string_view text, size_t* used) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  const size_t start = i;
  int64_t value = 0;
  // 18 digits always fit in 63 bits.
  while (i < text.size() && IsDigit(text[i]) && i - start < 18) {
    value = value * 10 + (text[i] - '0');
    ++i;
  }
  if (i == start || (i < text.size() && IsDigit(text[i]))) return std::nullopt;
  if (used != nullptr) *used = i;
  return negative ? -value : value;
}

std::optional<int64_t> ParseHex(std::string_view text, size_t* used) {
  size_t i = 0;
  if (text.size() >= 2 && text[0] == '0' && Lower(text[1]) == 'x') i = 2;
  const size_t start = i;
  uint64_t value = 0;
  while (i < text.size() && HexValue(text[i]) >= 0 && i - start < 16) {
    value = (value << 4) | static_cast<uint64_t>(HexValue(text[i]));
    ++i;
  }
  if (i == start || (i < text.size() && HexValue(text[i]) >= 0)) return std::nullopt;
  if (used != nullptr) *used = i;
  return static_cast<int64_t>(value);
}

void AppendUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out += static_cast<char>(((0xFF00 >> (extra + 1)) & 0xFF) | (c >> (6 * extra)));
  for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6) {
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
}

std::string_view CutLongUtf8(std::string_view text, size_t limit) {
  size_t end = limit;
  // Step back over continuation bytes to the start of the cut sequence.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

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

std::string Counted(int64_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " " + std::string(noun);
  if (count != 1) text += "s";
  return text;
}

}  // namespace triage
