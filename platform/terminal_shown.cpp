// What every console write shows: the text through the one filter of
// shown text, line by line, and the colours the caller marked beside it.
#include "platform/shown_text.h"
#include "platform/terminal.h"

namespace velmora::terminal {

namespace {

const char* Sequence(Paint paint) {
  switch (paint) {
    case Paint::Red:
      return "\x1b[1;31m";
    case Paint::Yellow:
      return "\x1b[1;33m";
    case Paint::Green:
      return "\x1b[1;32m";
    case Paint::Cyan:
      return "\x1b[36m";
    case Paint::Plain:
      break;
  }
  return "";
}

// `text` filtered, its line ends kept.
void AppendFiltered(std::string& out, std::string_view text) {
  for (std::size_t from = 0; from <= text.size();) {
    const std::size_t end = text.find('\n', from);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    out += TerminalSafe(text.substr(from, stop - from));
    if (end == std::string_view::npos) break;
    out += '\n';
    from = end + 1;
  }
}

}  // namespace

std::string Shown(std::string_view text, const std::vector<Painted>& paints, bool colours) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (const Painted& painted : paints) {
    if (!colours || painted.paint == Paint::Plain || painted.begin < at ||
        painted.end > text.size() || painted.end <= painted.begin) {
      continue;
    }
    AppendFiltered(out, text.substr(at, painted.begin - at));
    out += Sequence(painted.paint);
    AppendFiltered(out, text.substr(painted.begin, painted.end - painted.begin));
    out += "\x1b[0m";
    at = painted.end;
  }
  AppendFiltered(out, text.substr(at));
  return out;
}

}  // namespace velmora::terminal
