// What velmora-triage finds: the attempts the logs record, findings named
// by the rules of the catalogue, the product and the system. Text is UTF-8,
// decoded from whatever the files used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace triage {

enum class Severity { Error, Warning, Info };

// What an installer was asked to do, and how it ended.
enum class Operation { Install, Remove, Repair, Modify, Unknown };
enum class Result { Succeeded, Failed, Cancelled, Unknown };

// One line of a file: its 1-based number and its decoded text.
struct EvidenceLine {
  uint64_t number = 0;
  std::string text;
};

// A line a reader keeps as evidence, by the handle the pump gave it; the
// pump fills in the line's number and the lines around it.
using EvidenceId = int32_t;
constexpr EvidenceId kNoEvidence = -1;

struct Finding {
  std::string rule;  // an id of the catalogue, e.g. "msi.failed-action"
  Severity severity = Severity::Info;
  std::string file;   // the name within the collected folder
  uint64_t line = 0;  // 1-based line of the evidence; 0 when there is none
  std::optional<int64_t> code;
  std::string message;  // plain words
  std::string remedy;   // what to do
  std::string where;    // the action, dialog, package or device-setup section it concerns
  // The evidence line with the lines before and after it, in file order.
  std::vector<EvidenceLine> context;
  // When the evidence happened, in seconds since 1970-01-01 of the log's
  // own clock (local time, as logs write it), when the log says.
  std::optional<int64_t> time;

  // Set by the readers, used up when the file's result is settled:
  EvidenceId evidence = kNoEvidence;  // becomes `line` and `context`
  std::vector<EvidenceLine> also;     // lines further up shown with the context
  int attempt = -1;                   // the reader's attempt this finding explains
  bool velmora_driver = false;        // a failed device-setup section of the Velmora driver
  std::string package_log;            // a bundle package's own log, as the bundle names it
  // On a finding that can decide a failed attempt: its cause in words, as
  // the summary names it ("the older version of X could not be removed
  // (1714)"); empty when the finding states only a code.
  std::string cause;
};

// One run of an installer (a Windows Installer package or a bundle).
struct Attempt {
  std::optional<int64_t> time;  // when it began, by the log's own clock
  std::optional<int64_t> end;   // the last time the log shows for it
  std::string file;
  uint64_t line = 0;  // the evidence of its outcome
  EvidenceId evidence = kNoEvidence;
  std::string product;
  std::string version;
  Operation operation = Operation::Unknown;
  Result outcome = Result::Unknown;
  std::optional<int64_t> code;   // the installer's result
  std::optional<int64_t> cause;  // the code that explains it, when it says more (1920, 2503)
  std::string where;             // the failing action, the dialog left, the failed package
  // The cause in words, from the catalogue: "the older version of X could
  // not be removed (1714)"; empty when the log states none.
  std::string reason;
  bool rolled_back = false;
  bool restart = false;  // complete only after a restart
  bool bundle = false;   // a bundle, which runs packages of its own
  // Its clock shows the hour modulo 12 without saying which half of the
  // day (Wine's msiexec does): the file's own time tells.
  bool twelve_hour = false;
};

struct Product {
  std::string name;
  std::string version;
};

struct SystemSummary {
  std::string os_name;
  std::string os_version;
  std::string system_type;
  std::string model;
};

// Everything one reader found in its own file; it knows nothing of the
// other files.
struct FileResult {
  std::vector<Attempt> attempts;
  std::vector<Finding> findings;
  std::optional<SystemSummary> system;
  // The Velmora products an applications list names, when the file was one.
  std::optional<std::vector<Product>> installed;
  bool understood = false;  // some line of the file was recognised
};

// One file's answer, as the judgement weighs it.
struct FileAnswer {
  std::string name;
  uint64_t identity = 0;            // of the file's bytes: orders attempts no clock can
  int kind = 0;                     // the row of its kind: orders its findings among the others
  std::optional<int64_t> modified;  // the file's own time, local
  FileResult result;                // evidence resolved
};

}  // namespace triage
