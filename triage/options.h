// The command line: velmora-triage PATH [--json] [--html FILE], or --rules
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace triage {

struct Options {
  std::string path;
  bool json = false;
  std::optional<std::string> html;
  bool help = false;
  bool rules = false;  // print the rule catalogue
};

extern const char* const kUsage;

// False, with `error` saying what is wrong, for a command line that is not
// understood.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

}  // namespace triage
