#include "platform/terminal.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora::terminal {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool ColoursOnStdout() {
  const char* term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr && term != nullptr &&
         std::strcmp(term, "dumb") != 0;
}

namespace {

bool Write(std::FILE* stream, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

}  // namespace

// A POSIX program always has the terminal or the pipes it was started with.
bool StartedAlone() { return false; }

bool OpenWithShell(const std::filesystem::path&) { return false; }

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool WriteStdout(std::string_view text, const std::vector<Painted>& paints) {
  return Write(stdout, Shown(text, paints, !paints.empty() && ColoursOnStdout()));
}

bool WriteStderr(std::string_view text) { return Write(stderr, Shown(text, {}, false)); }

bool ShowProgress(std::string_view line, bool last) {
  return Write(stderr, "\r" + Shown(line, {}, false) + (last ? "\n" : ""));
}

void KeepRunningWhenOutputCloses() { signal(SIGPIPE, SIG_IGN); }

}  // namespace velmora::terminal
