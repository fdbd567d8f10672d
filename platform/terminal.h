// The console, for velmora-triage: its arguments, whether standard output
// shows colours, and UTF-8 text written to it. Apart from the collector's
// platform seam; one realisation per system, chosen by the build.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::terminal {

// The command-line arguments after the program's name, as UTF-8 (Windows:
// from the wide command line, so any name survives).
std::vector<std::string> Arguments(int argc, char** argv);

// Whether standard output is a terminal that shows ANSI colours; switches
// them on where the console needs it.
bool ColoursOnStdout();

// Whether the program has a console window of its own, made for it alone:
// on Windows, started from Explorer (double-clicked, or a file dropped onto
// it) rather than from a console; never elsewhere. Such a window closes as
// soon as the program ends, before anyone can read it.
bool StartedAlone();

// Asks the desktop to open `path` (a page, in the default browser). False
// when it could not be asked.
bool OpenWithShell(const std::filesystem::path& path);

// Whether standard error is a terminal (where progress may be shown).
bool StderrIsTerminal();

// A stretch of text to colour, by its bytes, where the terminal shows colours.
enum class Paint { Plain, Red, Yellow, Green, Cyan };
struct Painted {
  std::size_t begin = 0;
  std::size_t end = 0;
  Paint paint = Paint::Plain;
};

// UTF-8 text to standard output and standard error; a Windows console gets
// it as UTF-16 so that it shows right whatever its code page. Every byte
// goes through one filter on the way (line ends kept; other controls, bytes
// that are not UTF-8 and characters that reorder the line shown harmlessly,
// shown_text.h), so no text can drive the terminal, whoever wrote
// it; colours are drawn here, from `paints`, and only on a terminal that
// shows them. False when not all of it could be written (a full disk, a
// closed console, a pipe whose reader has gone).
bool WriteStdout(std::string_view text, const std::vector<Painted>& paints = {});
bool WriteStderr(std::string_view text);
// A progress line on standard error, over the one before it; `last` ends it.
bool ShowProgress(std::string_view line, bool last);

// Called first: a pipe whose reader has gone (`velmora-triage ... | head`)
// makes writes fail, to be reported, rather than end the program.
void KeepRunningWhenOutputCloses();

// The text as the filter above lets it through, colours drawn when
// `colours`: what a write shows.
std::string Shown(std::string_view text, const std::vector<Painted>& paints, bool colours);

}  // namespace velmora::terminal
