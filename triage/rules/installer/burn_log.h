// The rules over a WiX bundle (Burn) log, with message ids
// ("[0A3C:0B20][2026-12-01T10:15:04]e000: Error 0x80070643: ...") or
// without them as Burn 3.x wrote ("[4604:3BD4][2017-11-01T22:07:33]: Apply
// complete, result: 0x0, ..."): the bundle's attempt and what explains it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reader.h"

namespace triage {

class BurnLogRules {
 public:
  explicit BurnLogRules(const std::string& file) : file_(file) {}

  // False when `text` is not a bundle log line.
  bool Line(std::string_view text, EvidenceKeeper& evidence);
  bool Seen() const { return seen_; }
  std::size_t Lines() const { return lines_; }
  // Whether `text` is the line a bundle's log begins with ("...]i001: Burn v3.11...").
  static bool BeginsLog(std::string_view text);
  // Adds the bundle's attempt and its findings.
  void End(FileResult& result) const;

 private:
  struct Marked {
    EvidenceId evidence = kNoEvidence;
    std::string text;  // the package, or the message
    std::optional<int64_t> code;
    std::optional<int64_t> time;
  };
  static constexpr std::size_t kMostNonVital = 8;
  static constexpr std::size_t kMostPackageLogs = 16;
  static constexpr int64_t kMostGap = 24 * 3600;

  void Ending(std::optional<Marked>& line, std::optional<int64_t> code, std::optional<int64_t> time,
              EvidenceKeeper& evidence);
  void Message(char level, std::string_view body, std::optional<int64_t> time,
               EvidenceKeeper& evidence);

  const std::string& file_;
  bool seen_ = false;
  std::size_t lines_ = 0;
  std::optional<int64_t> first_time_;
  std::optional<int64_t> last_time_;
  std::size_t error_count_ = 0;
  std::optional<Marked> first_error_;
  std::optional<Marked> package_failed_;
  EvidenceId spare_ = kNoEvidence;  // kept for a package failure undone since, reused
  std::size_t more_non_vital_ = 0;  // past kMostNonVital
  std::vector<Marked> non_vital_;
  std::optional<Marked> apply_;  // "Apply complete, result: ..."
  std::optional<Marked> exit_;   // "Exit code: ..." / "Shutting down, exit code: ..."
  std::optional<Marked> restart_;
  // Each package's own log, as "WixBundleLog_<package>" names it.
  std::vector<std::pair<std::string, std::string>> package_logs_;
  std::string action_;  // what the bundle was asked to do
  std::string bundle_name_;
  std::string bundle_version_;
};

}  // namespace triage
