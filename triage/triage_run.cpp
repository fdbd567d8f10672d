#include "triage_run.h"

#include <exception>
#include <memory>
#include <vector>

#include "collection.h"
#include "decoder.h"
#include "readers.h"

namespace triage {

namespace {

constexpr std::size_t kReadChunk = 1 << 20;
constexpr const char* kResend =
    "Ask the user to zip the collected folder again (\"Send to, Compressed (zipped) folder\") and "
    "send it once more.";

Finding Note(const char* rule, Severity severity, const std::string& file, uint64_t line,
             std::string message, std::string remedy) {
  Finding finding;
  finding.rule = rule;
  finding.severity = severity;
  finding.file = file;
  finding.line = line;
  finding.message = std::move(message);
  finding.remedy = std::move(remedy);
  return finding;
}

class ReaderSink : public LineSink {
 public:
  explicit ReaderSink(LineReader& reader) : reader_(reader) {}
  void Line(uint64_t number, std::string_view text) override { reader_.Line(number, text); }

 private:
  LineReader& reader_;
};

// Feeds one file through the decoder and reports what went wrong with its
// bytes (not with what they say).
void Pump(ByteStream& stream, LineSink& sink, const std::string& name, const RunLimits& limits,
          std::vector<char>& buffer, Report& report) {
  TextDecoder decoder(sink, limits.max_line_bytes);
  const char* data = nullptr;
  std::size_t got = 0;
  while (stream.Next(buffer, data, got)) {
    decoder.Feed(data, got);
    if (decoder.encoding() == Encoding::Binary) break;
  }
  decoder.Finish();
  const DecodeStats& stats = decoder.stats();
  if (decoder.encoding() == Encoding::Binary) {
    report.findings.push_back(
        Note("input.not-text", Severity::Warning, name, 0,
             name + " is not text (binary data, no UTF-16 mark); it was not read",
             "Ask the user for this file again: it may have been damaged."));
    return;
  }
  std::string problem = stream.problem();
  if (!problem.empty()) {
    report.findings.push_back(Note("input.damaged-entry", Severity::Warning, name, 0,
                                   "Reading " + name + " stopped short: " + problem +
                                       ". Findings in it cover only what was read.",
                                   kResend));
  }
  if (stats.odd_byte_count) {
    report.findings.push_back(
        Note("input.cut-text", Severity::Warning, name, stats.lines,
             name + " ends in the middle of a UTF-16 character: the file was cut short",
             "Ask the user for this file again."));
  } else if (stats.replaced > 0) {
    report.findings.push_back(Note("input.bad-characters", Severity::Info, name, 0,
                                   name + ": " + std::to_string(stats.replaced) +
                                       " UTF-16 character(s) without their pair show as U+FFFD",
                                   ""));
  }
  if (stats.cut_lines > 0) {
    report.findings.push_back(
        Note("input.long-lines", Severity::Info, name, stats.first_cut_line,
             name + ": " + std::to_string(stats.cut_lines) + " line(s) longer than " +
                 std::to_string(limits.max_line_bytes / 1024) + " KiB were cut to that length",
             ""));
  }
}

bool CountsAsMatch(const Finding& finding) {
  return finding.severity != Severity::Info && finding.rule.rfind("input.", 0) != 0;
}

}  // namespace

bool Triage(const std::filesystem::path& path, const std::string& shown_as, const RunLimits& limits,
            Outcome& outcome, std::string& error) {
  auto collection = OpenCollection(path, error, limits.zip);
  if (!collection) return false;
  outcome = Outcome{};
  outcome.source = shown_as;
  Report& report = outcome.report;
  std::vector<char> buffer(kReadChunk);

  std::size_t wanted = 0;
  for (const auto& file : collection->files()) {
    if (file.kind == FileKind::Other) continue;
    if (++wanted > limits.max_files) continue;
    std::string problem;
    std::unique_ptr<ByteStream> stream = collection->Open(file, problem);
    if (!stream) {
      report.findings.push_back(Note("input.unreadable-file", Severity::Warning, file.name, 0,
                                     file.name + " could not be read: " + problem, kResend));
      continue;
    }
    ++outcome.files_read;
    try {
      std::unique_ptr<LineReader> reader =
          file.kind == FileKind::InstallerLog  ? MakeInstallerLogReader(file.name)
          : file.kind == FileKind::SetupApiLog ? MakeSetupApiReader(file.name)
          : file.kind == FileKind::SystemInfo  ? MakeSystemInfoReader(file.name)
                                               : MakeInstalledAppsReader(file.name);
      ReaderSink sink(*reader);
      Pump(*stream, sink, file.name, limits, buffer, report);
      reader->End(report);
    } catch (const std::exception& e) {
      report.findings.push_back(Note("input.reader-failed", Severity::Warning, file.name, 0,
                                     file.name + " could not be read to the end: " + e.what(),
                                     "Read this file by hand."));
    }
  }
  if (wanted > limits.max_files) {
    report.findings.push_back(
        Note("input.too-many-files", Severity::Warning, "", 0,
             std::to_string(wanted) + " files look like logs or reports; only the first " +
                 std::to_string(limits.max_files) + " by name were read",
             "A collected folder holds a handful of files: check that PATH is the "
             "folder the collector made."));
  }

  if (!collection->single_file()) {
    std::vector<std::string> present;
    for (const auto& file : collection->files()) present.push_back(file.name);
    AddMissingFileFindings(present, report);
  }
  LinkFailures(report);
  for (const auto& note : collection->notes()) report.findings.push_back(note);

  outcome.verdict = Decide(report);
  bool matched = report.install_succeeded.has_value();
  for (const auto& finding : report.findings) matched = matched || CountsAsMatch(finding);
  if (!matched) {
    report.findings.push_back(
        Note("triage.no-rule-matched", Severity::Info, "", 0,
             "No rule matched: none of the " + std::to_string(outcome.files_read) +
                 " file(s) read states a failure or the installation's outcome",
             "Read the logs by hand. If the user saw an error, ask for a verbose installer log "
             "(msiexec /l*v) of a new attempt."));
  }
  OrderBySeverity(report);
  return true;
}

}  // namespace triage
