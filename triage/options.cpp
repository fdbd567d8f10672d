#include "options.h"

namespace triage {

const char* const kUsage =
    "usage: velmora-triage PATH [--json] [--html FILE]\n"
    "       velmora-triage --rules\n"
    "  PATH         a collected folder, a .zip of it, or one log file\n"
    "  --json       print the findings as one JSON object instead of text\n"
    "  --html FILE  also write a self-contained page of the findings to FILE\n"
    "  --rules      print every rule: what it detects and what to do\n"
    "exit status: 0 no error found, 1 an error found,\n"
    "  2 PATH could not be read, the command line is wrong, or FILE is PATH or inside it,\n"
    "  3 the report was printed but FILE could not be written,\n"
    "  4 standard output could not be written\n";

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  options = Options{};
  bool only_paths = false;
  bool have_path = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!only_paths && arg == "--") {
      only_paths = true;
    } else if (!only_paths && (arg == "--help" || arg == "-h" || arg == "/?")) {
      options.help = true;
    } else if (!only_paths && arg == "--rules") {
      options.rules = true;
    } else if (!only_paths && arg == "--json") {
      options.json = true;
    } else if (!only_paths && (arg == "--html" || arg.rfind("--html=", 0) == 0)) {
      std::string file;
      if (arg == "--html") {
        if (i + 1 >= args.size()) {
          error = "--html needs a file name";
          return false;
        }
        file = args[++i];
      } else {
        file = arg.substr(7);
      }
      if (file.empty()) {
        error = "--html needs a file name";
        return false;
      }
      options.html = file;
    } else if (!only_paths && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (have_path) {
      error = "only one PATH may be given";
      return false;
    } else {
      options.path = arg;
      have_path = true;
    }
  }
  if (!have_path && !options.help && !options.rules) {
    error = "PATH is missing";
    return false;
  }
  return true;
}

}  // namespace triage
