// What a triage run finds: findings from named rules, the product and the
// system they concern. Text is UTF-8, decoded from whatever the files used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace triage {

enum class Severity { Error, Warning, Info };

// One line of a file: its 1-based number and its decoded text.
struct EvidenceLine {
  uint64_t number = 0;
  std::string text;
};

struct Finding {
  std::string rule;  // stable id, e.g. "msi.failed-action"
  Severity severity = Severity::Info;
  std::string file;   // the name within the collected folder
  uint64_t line = 0;  // 1-based line of the evidence; 0 when there is none
  std::optional<int64_t> code;
  std::string message;  // plain words
  std::string remedy;   // what to do
  // The evidence line with a few lines before (and after, where the reader
  // kept them), in file order.
  std::vector<EvidenceLine> context;
  // When the evidence happened, in seconds since 1970-01-01 of the log's
  // own clock (local time, as logs write it), when the log says.
  std::optional<int64_t> time;
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

struct Report {
  std::optional<Product> product;
  std::optional<SystemSummary> system;
  // Set by an installer log that states its outcome: true for success
  // (0, 3010, 1641), false for failure.
  std::optional<bool> install_succeeded;
  std::vector<Finding> findings;
};

// A reader of one kind of file, fed the decoded lines of that file in order
// (without their line ends), then told that the file has ended.
class LineReader {
 public:
  virtual ~LineReader() = default;
  virtual void Line(uint64_t number, std::string_view text) = 0;
  virtual void End(Report& report) = 0;
};

}  // namespace triage
