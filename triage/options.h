// The command line: velmora-triage PATH [--json] [--html FILE]; --queue DIR
// [--jsonl FILE] [--csv FILE] [--html FILE] [--pages DIR] [--jobs N]; --rules.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace triage {

struct Options {
  std::string path;  // PATH, or the queue's folder with --queue
  bool queue = false;
  bool json = false;
  std::optional<std::string> html;  // the page, or the queue's overview
  std::optional<std::string> jsonl;
  std::optional<std::string> csv;
  std::optional<std::string> pages;
  unsigned jobs = 0;  // 0: as many as the machine has cores
  bool help = false;
  bool rules = false;  // print the rule catalogue
};

extern const char* const kUsage;

// False, with `error` saying what is wrong, for a command line that is not
// understood.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

}  // namespace triage
