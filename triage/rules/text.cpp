#include "text.h"

namespace triage {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

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

std::string Counted(int64_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " " + std::string(noun);
  if (count != 1) text += "s";
  return text;
}

}  // namespace triage
