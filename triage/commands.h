// What velmora-triage does for each form of its command line, and the exit
// statuses they share.
#pragma once

#include <string>

#include "options.h"

namespace triage {

constexpr int kNoError = 0;
constexpr int kErrorFound = 1;  // a queue: some ticket could not be read
constexpr int kUnreadable = 2;  // PATH or DIR, the command line, an output inside the input
constexpr int kFileNotWritten = 3;
constexpr int kStdoutNotWritten = 4;

// One line on standard error. Its text may hold PATH, FILE, an option or
// names from the input: it goes through the console's filter whole.
void Say(const std::string& line);

// Shows `page_text` as a page the browser opens, for a program started
// from Explorer, whose console window closes as it ends.
bool ShowAlone(const std::string& page_text);

// PATH: the report on standard output, the page where asked; started from
// Explorer (a folder or zip dropped onto it), the page in the browser.
int TriageOne(const Options& options);
// --queue DIR.
int TriageQueue(const Options& options);

}  // namespace triage
