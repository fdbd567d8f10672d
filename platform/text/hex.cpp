#include "platform/text/hex.h"

namespace velmora::text {

namespace {

char Digit(unsigned value, HexCase letters) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  return (letters == HexCase::Lower ? kLower : kUpper)[value & 15];
}

}  // namespace

std::optional<int64_t> ParseHex(std::string_view text, std::size_t* used) {
  std::size_t i = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) i = 2;
  const std::size_t start = i;
  uint64_t value = 0;
  while (i < text.size() && HexDigitValue(text[i]) >= 0 && i - start < 16) {
    value = (value << 4) | static_cast<uint64_t>(HexDigitValue(text[i]));
    ++i;
  }
  if (i == start || (i < text.size() && HexDigitValue(text[i]) >= 0)) return std::nullopt;
  if (used != nullptr) *used = i;
  return static_cast<int64_t>(value);
}

std::string HexNumber(uint64_t value, std::size_t min_digits, HexCase letters) {
  char digits[16];
  std::size_t count = 0;
  do {
    digits[count++] = Digit(static_cast<unsigned>(value & 15), letters);
    value >>= 4;
  } while (value != 0);
  std::string out(min_digits > count ? min_digits - count : 0, '0');
  while (count > 0) out += digits[--count];
  return out;
}

void AppendHexByte(unsigned char byte, HexCase letters, std::string& out) {
  out += Digit(byte >> 4, letters);
  out += Digit(byte, letters);
}

std::string HexBytes(std::string_view bytes, HexCase letters) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) AppendHexByte(static_cast<unsigned char>(c), letters, out);
  return out;
}

}  // namespace velmora::text
