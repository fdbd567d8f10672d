// Hexadecimal: the codes the logs write ("0x80070643"), bytes shown as
// digits, numbers written at a fixed width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::text {

enum class HexCase { Lower, Upper };

// The value of one hex digit, or -1.
inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "0x..." or bare hex digits, at most 16 of them, with `*used` set to the
// characters it took. Nothing when there is no digit or more follow.
std::optional<int64_t> ParseHex(std::string_view text, std::size_t* used = nullptr);

// `value` in hex digits, at least `min_digits` of them (zeros in front).
std::string HexNumber(uint64_t value, std::size_t min_digits = 1, HexCase letters = HexCase::Upper);

// Every byte of `bytes` as two hex digits.
std::string HexBytes(std::string_view bytes, HexCase letters);
// One byte as two hex digits, appended to `out`.
void AppendHexByte(unsigned char byte, HexCase letters, std::string& out);

}  // namespace velmora::text
