// Text from the input on its way to a person, on the console or the page:
// the one place that tells which of its characters may be shown as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::terminal {

enum class CharKind {
  Plain,    // shown as it is
  Control,  // C0, DEL or C1: could drive a terminal
  Invalid,  // a byte that begins no well-formed UTF-8 character
  // Reorders the text around it or breaks its line, so that a name can pose
  // as another: the bidirectional controls (U+061C, U+200E, U+200F,
  // U+202A-U+202E, U+2066-U+2069) and the line and paragraph separators
  // (U+2028, U+2029). Shown by its code.
  Format,
};

struct ShownChar {
  CharKind kind = CharKind::Plain;
  std::size_t size = 1;  // bytes: 1 for an invalid byte
  uint32_t code = 0;     // the code point; the byte itself when invalid
};

// The first character of `text`, which is not empty.
ShownChar FirstChar(std::string_view text);

// How a Format character is shown: "<U+202E>".
std::string CodeMark(uint32_t code);

// The one filter of everything the console shows: controls (C0 and line
// ends too, DEL, C1) and bytes that are not UTF-8 become '?', Format
// characters their code. The terminal layer applies it to every write.
std::string TerminalSafe(std::string_view text);

}  // namespace velmora::terminal
