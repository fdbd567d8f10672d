#include "options.h"

#include "rules/text.h"

namespace triage {

const char* const kUsage =
    "usage: velmora-triage PATH [--json] [--html FILE]\n"
    "       velmora-triage --queue DIR [--jsonl FILE] [--csv FILE] [--html FILE] [--pages DIR]\n"
    "                      [--jobs N]\n"
    "       velmora-triage --rules\n"
    "  PATH          a collected folder, a .zip of it, or one log file\n"
    "  --json        print the findings as one JSON object instead of text\n"
    "  --html FILE   also write a self-contained page of the findings to FILE\n"
    "                (with --queue: the overview page of the whole queue)\n"
    "  --queue DIR   triage every zip and every folder directly inside DIR, one ticket each\n"
    "  --jsonl FILE  one JSON line a ticket\n"
    "  --csv FILE    one spreadsheet row a ticket\n"
    "  --pages DIR   each ticket's own page, linked from the overview\n"
    "  --jobs N      tickets triaged at once (default: the number of cores)\n"
    "  --rules       print every rule and every code known: what it means, what to do\n"
    "exit status: 0 no error found (a queue: every ticket read), 1 an error found (a queue:\n"
    "  some ticket could not be read), 2 PATH or DIR could not be read, the command line is\n"
    "  wrong, or an output would lie inside PATH or DIR, 3 the report was printed but a file\n"
    "  could not be written, 4 standard output could not be written\n";

namespace {

// "--name VALUE" or "--name=VALUE": the value, or nothing when `arg` is
// another option; `error` set when the value is missing.
std::optional<std::string> Value(const std::vector<std::string>& args, std::size_t& i,
                                 std::string_view name, std::string& error) {
  const std::string& arg = args[i];
  std::string value;
  if (arg == name) {
    if (i + 1 >= args.size()) {
      error = std::string(name) + " needs a value";
      return std::string();
    }
    value = args[++i];
  } else if (StartsWith(arg, std::string(name) + "=")) {
    value = arg.substr(name.size() + 1);
  } else {
    return std::nullopt;
  }
  if (value.empty()) error = std::string(name) + " needs a value";
  return value;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  options = Options{};
  error.clear();
  bool only_paths = false;
  bool have_path = false;
  for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
    const std::string& arg = args[i];
    if (only_paths || arg.size() < 2 || arg[0] != '-') {
      if (have_path) {
        error = "only one PATH may be given";
      } else {
        options.path = arg;
        have_path = true;
      }
    } else if (arg == "--") {
      only_paths = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--rules") {
      options.rules = true;
    } else if (auto html = Value(args, i, "--html", error)) {
      options.html = *html;
    } else if (auto jsonl = Value(args, i, "--jsonl", error)) {
      options.jsonl = *jsonl;
    } else if (auto csv = Value(args, i, "--csv", error)) {
      options.csv = *csv;
    } else if (auto pages = Value(args, i, "--pages", error)) {
      options.pages = *pages;
    } else if (auto folder = Value(args, i, "--queue", error)) {
      if (have_path) {
        error = "only one PATH may be given";
      } else {
        options.path = *folder;
        options.queue = have_path = true;
      }
    } else if (auto jobs = Value(args, i, "--jobs", error)) {
      std::size_t used = 0;
      const auto number = ParseDecimal(*jobs, &used);
      if (!number || used != jobs->size() || *number < 1 || *number > 256) {
        error = "--jobs needs a number from 1 to 256";
      } else {
        options.jobs = static_cast<unsigned>(*number);
      }
    } else {
      error = "unknown option " + arg;
    }
  }
  if (!error.empty()) return false;
  if (options.help || options.rules) return true;
  if (!have_path) {
    error = "PATH is missing";
  } else if (options.queue && options.json) {
    error = "--json prints one ticket; with --queue, use --jsonl FILE";
  } else if (!options.queue && (options.jsonl || options.csv || options.pages || options.jobs)) {
    error = "--jsonl, --csv, --pages and --jobs go with --queue";
  }
  return error.empty();
}

}  // namespace triage
