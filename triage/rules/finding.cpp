#include "finding.h"

#include "text.h"

namespace triage {

std::string HexCode(int64_t code) {
  return "0x" + velmora::text::HexNumber(static_cast<uint64_t>(code));
}

std::string CodeText(int64_t code) {
  if (code >= 0 && code <= 0xFFFF) return std::to_string(code);
  return "0x" + velmora::text::HexNumber(static_cast<uint32_t>(code), 8);
}

std::string_view QuoteText(std::string_view line) {
  line = Trim(line);
  if (StartsWith(line, "MSI (")) {
    const size_t colon = line.find(": ", 8);
    if (colon != std::string_view::npos && colon < 48) line.remove_prefix(colon + 2);
  }
  return CutUtf8(Trim(line), 300);
}

}  // namespace triage
