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

// UTF-8 text to standard output and standard error; a Windows console gets
// it as UTF-16 so that it shows right whatever its code page. False when
// not all of it could be written (a full disk, a closed console).
bool WriteStdout(std::string_view text);
bool WriteStderr(std::string_view text);

}  // namespace velmora::terminal
