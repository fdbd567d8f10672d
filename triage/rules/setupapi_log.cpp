// Device-setup logs: "setupapi.dev.log" (sections from ">>>  [...]" to
// "<<<  [Exit status: ...]", "!!!" error and "!" warning lines) and XP's
// "setupapi.log" (sections headed "[date time pid ...]", "#E" error lines).
// A failed section is one finding; the Velmora driver's sections come first.
#include <algorithm>

#include "codes.h"
#include "context_ring.h"
#include "finding.h"
#include "readers.h"
#include "text.h"

namespace triage {
namespace {

// More failed sections than this are counted, not listed.
constexpr size_t kMaxSections = 32;

struct Section {
  bool open = false;
  bool xp = false;
  std::string title;
  uint64_t start_line = 0;
  std::optional<int64_t> time;
  bool velmora = false;
  // The first error line and the lines above it.
  uint64_t error_line = 0;
  std::string error_text;
  std::vector<EvidenceLine> error_context;
  std::optional<int64_t> error_code;  // XP: the code the "#E" line names
  size_t errors = 0;
  size_t warnings = 0;
};

// The Velmora driver's provider name, or its INF's own name (an INF
// published as "oemNN.inf" still names its original in the lines).
bool ConcernsVelmora(std::string_view text) {
  return ContainsNoCase(text, "velmora") || ContainsNoCase(text, "vldrv");
}

// What the category prefix of a line ("!!!  sto: ...") says logged it.
const char* CategoryName(std::string_view line) {
  static const struct {
    const char* prefix;
    const char* name;
  } kCategories[] = {
      {"cci:", "class co-installer"}, {"cpy:", "file copying"},   {"dvi:", "device installation"},
      {"flq:", "file queue"},         {"inf:", "INF processing"}, {"ndv:", "new device setup"},
      {"sig:", "signature check"},    {"sto:", "driver store"},   {"ump:", "Plug and Play service"},
      {"idb:", "driver database"},    {"set:", "setup settings"}, {"dvs:", "device services"},
  };
  // "!!!  sto:      text": the prefix follows the marker and blanks.
  size_t at = 0;
  while (at < line.size() && (line[at] == '!' || line[at] == ' ')) ++at;
  const std::string_view rest = line.substr(at);
  for (const auto& category : kCategories) {
    if (StartsWith(rest, category.prefix)) return category.name;
  }
  return nullptr;
}

std::string DescribeCode(int64_t code) {
  std::string text = HexCode(code);
  if (const CodeInfo* info = FindSetupApiCode(code)) {
    text += " (";
    text += info->meaning;
    text += ")";
  }
  return text;
}

// "Error 0xe000022f: ..." or "Error 1060: ..." within a line.
std::optional<int64_t> CodeInLine(std::string_view text) {
  const size_t at = text.find("rror ");
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = text.substr(at + 5);
  if (StartsWith(rest, "0x") || StartsWith(rest, "0X")) return ParseHex(rest);
  return ParseDecimal(rest);
}

class SetupApiReader : public LineReader {
 public:
  explicit SetupApiReader(std::string file) : file_(std::move(file)) {}

  void Line(uint64_t number, std::string_view text) override {
    ring_.Push(number, text);
    if (text.empty()) return;
    if (section_.open && !section_.velmora && ConcernsVelmora(text)) {
      section_.velmora = true;
    }
    switch (text[0]) {
      case '>':
        if (StartsWith(text, ">>>  [")) {
          Open(number, text.substr(6), false);
          section_.title = std::string(CutUtf8(Trim(text.substr(6, text.rfind(']') - 6)), 200));
        } else if (StartsWith(text, ">>>  Section start ") && section_.open) {
          section_.time = ParseIsoLikeTime(text.substr(19));
        }
        return;
      case '<':
        if (StartsWith(text, "<<<  [Exit status: ")) Close(number, text.substr(19));
        return;
      case '!':
        if (StartsWith(text, "!!!")) {
          Error(number, text, std::nullopt);
        } else if (section_.open) {
          ++section_.warnings;
        }
        return;
      case '#':
        if (text.size() > 1 && text[1] == 'E') {
          if (!section_.open) Open(number, "", true);
          Error(number, text, CodeInLine(text));
        }
        return;
      case '[':
        // XP's section header: "[2026/12/01 10:15:03 1234.5 Driver Install]".
        if (text.size() > 20 && text[1] >= '0' && text[1] <= '9') {
          std::string_view title = text.substr(1, text.rfind(']') - 1);
          Open(number, title, true);
          section_.time = ParseIsoLikeTime(title);
          // Past the date, the time and the process number.
          size_t words = 0, at = 0;
          while (at < title.size() && words < 3) {
            if (title[at] == ' ') ++words;
            ++at;
          }
          section_.title = std::string(CutUtf8(Trim(title.substr(at)), 200));
        }
        return;
      default:
        return;
    }
  }

  void End(Report& report) override {
    // A section still open (the log was cut, or the install still ran).
    if (section_.open) Finish(section_.start_line, "", true);
    std::stable_sort(found_.begin(), found_.end(),
                     [](const Ranked& a, const Ranked& b) { return a.velmora && !b.velmora; });
    for (Ranked& ranked : found_) report.findings.push_back(std::move(ranked.finding));
    if (dropped_ > 0) {
      Finding finding = MakeFinding("setupapi.more-failures", Severity::Info, file_, 0);
      finding.message =
          std::to_string(dropped_) + " more failed device-setup sections are not listed.";
      finding.remedy = "Read the log itself for them.";
      report.findings.push_back(std::move(finding));
    }
  }

 private:
  struct Ranked {
    bool velmora = false;
    Finding finding;
  };

  void Open(uint64_t number, std::string_view title, bool xp) {
    if (section_.open) Finish(section_.start_line, "", true);
    section_ = Section();
    section_.open = true;
    section_.xp = xp;
    section_.start_line = number;
    section_.velmora = ConcernsVelmora(title);
  }

  void Error(uint64_t number, std::string_view text, std::optional<int64_t> code) {
    if (!section_.open) return;
    // XP's sections have no exit status: the last code named is how the
    // section ended (earlier ones can be errors it went on after).
    if (code) section_.error_code = code;
    if (section_.errors++ > 0) return;
    section_.error_line = number;
    section_.error_text = std::string(CutUtf8(text, 300));
    section_.error_context = ring_.Snapshot();
  }

  void Close(uint64_t number, std::string_view status) {
    if (!section_.open) return;
    // "FAILURE(0xe0000219)]" or "SUCCESS]".
    if (StartsWith(status, "SUCCESS")) {
      section_.open = false;
      return;
    }
    const size_t open = status.find('(');
    std::optional<int64_t> code;
    if (open != std::string_view::npos) code = ParseHex(status.substr(open + 1));
    if (code) section_.error_code = code;
    Finish(number, status, false);
  }

  void Finish(uint64_t exit_line, std::string_view status, bool unfinished) {
    section_.open = false;
    // An unfinished section matters only when it logged an error; an XP
    // section has no end line and fails through its "#E" lines.
    if (unfinished && section_.errors == 0) return;
    if (found_.size() >= kMaxSections) {
      ++dropped_;
      return;
    }
    const bool has_error_line = section_.errors > 0;
    Finding finding =
        MakeFinding(section_.xp ? "setupapi.xp-error" : "setupapi.section-failed", Severity::Error,
                    file_, has_error_line ? section_.error_line : exit_line,
                    has_error_line ? section_.error_context : ring_.Snapshot());
    finding.time = section_.time;
    finding.code = section_.error_code;
    std::string message = section_.velmora ? "Velmora driver: the device-setup section \""
                                           : "The device-setup section \"";
    message += (section_.title.empty() ? "(untitled)" : section_.title) + "\"";
    if (section_.xp || unfinished) {
      message += " logged an error";
    } else {
      message += " failed";
    }
    if (unfinished && !section_.xp) message += " and has no end (the log was cut short)";
    if (section_.error_code) message += " with " + DescribeCode(*section_.error_code);
    if (has_error_line) {
      if (const char* category = CategoryName(section_.error_text)) {
        message += "; first error from the " + std::string(category);
      }
      message += ": \"" + std::string(Trim(section_.error_text)) + "\"";
      if (section_.errors > 1) {
        message += " (followed by " + Counted(section_.errors - 1, "more error line") + ")";
      }
    } else if (!status.empty()) {
      message +=
          ": \"" + std::string(CutUtf8(Trim(status.substr(0, status.rfind(']'))), 100)) + "\"";
    }
    if (section_.warnings > 0) {
      message += "; it also logged " + Counted(section_.warnings, "warning line");
    }
    finding.message = message + ".";
    const CodeInfo* info = section_.error_code ? FindSetupApiCode(*section_.error_code) : nullptr;
    finding.remedy = info != nullptr
                         ? info->remedy
                         : "Read the section's error lines; reinstall the driver package as an "
                           "administrator.";
    found_.push_back({section_.velmora, std::move(finding)});
  }

  std::string file_;
  ContextRing ring_;
  Section section_;
  std::vector<Ranked> found_;
  size_t dropped_ = 0;
};

}  // namespace

std::unique_ptr<LineReader> MakeSetupApiReader(std::string file) {
  return std::make_unique<SetupApiReader>(std::move(file));
}

}  // namespace triage
