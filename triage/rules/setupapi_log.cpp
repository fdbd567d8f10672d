// Device-setup logs: "setupapi.dev.log" (sections from ">>>  [...]" to
// "<<<  [Exit status: ...]", "!!!" error and "!" warning lines) and XP's
// "setupapi.log" (sections headed "[date time pid ...]", "#E" error lines).
// A failed section is one finding; the Velmora driver's sections come first.
#include <algorithm>

#include "catalogue.h"
#include "codes.h"
#include "finding.h"
#include "installer/message_facts.h"
#include "knowledge.h"
#include "readers.h"
#include "text.h"

namespace triage {
namespace {

// More failed sections of other devices than this are counted, not listed;
// the Velmora driver's have a cap of their own, so they are never crowded out.
constexpr size_t kMaxSections = 32;

struct Section {
  bool open = false;
  bool xp = false;
  std::string title;
  std::optional<int64_t> time;
  bool velmora = false;
  // The first error line, kept with the lines around it.
  EvidenceId error_evidence = kNoEvidence;
  std::string error_text;
  std::optional<int64_t> error_code;  // XP: the code the "#E" line names
  size_t errors = 0;
  size_t warnings = 0;
};

// The Velmora driver's provider name, or its INF's own name (an INF
// published as "oemNN.inf" still names its original in the lines).
bool ConcernsVelmora(std::string_view text) {
  return ContainsNoCase(text, "velmora") || ContainsNoCase(text, "vldrv");
}

// What the category prefix of a line ("!!!  sto: ...") says logged it, in
// the catalogue's words; empty for a prefix it does not name.
std::string CategoryName(std::string_view line) {
  static const char* const kCategories[] = {"cci", "cpy", "dvi", "flq", "inf", "ndv",
                                            "sig", "sto", "ump", "idb", "set", "dvs"};
  // "!!!  sto:      text": the prefix follows the marker and blanks.
  size_t at = 0;
  while (at < line.size() && (line[at] == '!' || line[at] == ' ')) ++at;
  const std::string_view rest = line.substr(at);
  for (const char* category : kCategories) {
    if (StartsWith(rest, category) && rest.substr(3, 1) == ":") {
      return Say("setupapi.category." + std::string(category));
    }
  }
  return "";
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

class SetupApiReader : public Reader {
 public:
  explicit SetupApiReader(std::string file) : file_(std::move(file)) {}

  void Line(uint64_t, std::string_view text, EvidenceKeeper& evidence) override {
    evidence_ = &evidence;
    if (text.empty()) return;
    if (section_.open && !section_.velmora && ConcernsVelmora(text)) {
      section_.velmora = true;
    }
    switch (text[0]) {
      case '>':
        if (StartsWith(text, ">>>  [")) {
          Open(text.substr(6), false);
          section_.title = std::string(CutUtf8(Trim(text.substr(6, text.rfind(']') - 6)), 200));
        } else if (StartsWith(text, ">>>  Section start ") && section_.open) {
          section_.time = ParseIsoLikeTime(text.substr(19));
        }
        return;
      case '<':
        if (StartsWith(text, "<<<  [Exit status: ")) Close(text.substr(19));
        return;
      case '!':
        if (StartsWith(text, "!!!")) {
          Error(text, std::nullopt);
        } else if (section_.open) {
          ++section_.warnings;
        }
        return;
      case '#':
        if (text.size() > 1 && text[1] == 'E') {
          if (!section_.open) Open("", true);
          Error(text, CodeInLine(text));
        }
        return;
      case '[':
        // XP's section header: "[2026/12/01 10:15:03 1234.5 Driver Install]".
        if (text.size() > 20 && text[1] >= '0' && text[1] <= '9') {
          std::string_view title = text.substr(1, text.rfind(']') - 1);
          Open(title, true);
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

  FileResult End() override {
    // A section still open (the log was cut, or the install still ran).
    if (section_.open) Finish("", true);
    FileResult result;
    result.understood = understood_;
    for (Finding& finding : velmora_) result.findings.push_back(std::move(finding));
    for (Finding& finding : others_) result.findings.push_back(std::move(finding));
    if (dropped_ > 0) {
      Finding finding = MakeFinding("setupapi.more-failures", file_);
      finding.message = SayCounted("setupapi.more-failures", static_cast<int64_t>(dropped_));
      result.findings.push_back(std::move(finding));
    }
    return result;
  }

 private:
  void Open(std::string_view title, bool xp) {
    if (section_.open) Finish("", true);
    understood_ = true;
    // The handle of a section that found nothing is kept for the next one.
    const EvidenceId reuse = section_.error_evidence;
    section_ = Section();
    section_.error_evidence = reuse;
    section_.open = true;
    section_.xp = xp;
    section_.velmora = ConcernsVelmora(title);
  }

  void Error(std::string_view text, std::optional<int64_t> code) {
    if (!section_.open) return;
    // XP's sections have no exit status: the last code named is how the
    // section ended (earlier ones can be errors it went on after).
    if (code) section_.error_code = code;
    if (section_.errors++ > 0) return;
    section_.error_evidence = evidence_->Keep(section_.error_evidence);
    section_.error_text = std::string(CutUtf8(text, 300));
  }

  void Close(std::string_view status) {
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
    Finish(status, false);
  }

  void Finish(std::string_view status, bool unfinished) {
    section_.open = false;
    // An unfinished section matters only when it logged an error; an XP
    // section has no end line and fails through its "#E" lines.
    if (unfinished && section_.errors == 0) return;
    std::vector<Finding>& found = section_.velmora ? velmora_ : others_;
    if (found.size() >= kMaxSections) {
      ++dropped_;
      return;
    }
    const bool has_error_line = section_.errors > 0;
    Finding finding =
        MakeFinding(section_.xp ? "setupapi.xp-error" : "setupapi.section-failed", file_);
    // The exit line is the current one: a section ends on it.
    finding.evidence = has_error_line ? section_.error_evidence : evidence_->Keep();
    section_.error_evidence = kNoEvidence;  // the finding has it now
    finding.velmora_driver = section_.velmora;
    finding.where = section_.title;
    if (!section_.velmora) finding.severity = Severity::Warning;
    finding.time = section_.time;
    finding.code = section_.error_code;
    const std::string title = section_.title.empty() ? Say("setupapi.untitled") : section_.title;
    std::string message =
        Say(section_.velmora ? "setupapi.section.velmora" : "setupapi.section", {{"title", title}});
    Append(message, Say(section_.xp || unfinished ? "setupapi.section.logged-error"
                                                  : "setupapi.section.failed"));
    if (unfinished && !section_.xp) Append(message, Say("setupapi.section.cut"));
    if (section_.error_code) {
      Append(message, Say("setupapi.section.code", {{"code", DescribeCode(*section_.error_code)}}));
    }
    if (has_error_line) {
      const std::string category = CategoryName(section_.error_text);
      if (!category.empty())
        Append(message, Say("setupapi.section.from", {{"category", category}}));
      Append(message,
             Say("setupapi.section.quote", {{"quote", std::string(Trim(section_.error_text))}}));
      if (section_.errors > 1) {
        Append(message, SayCounted("setupapi.section.more-errors",
                                   static_cast<int64_t>(section_.errors - 1)));
      }
    } else if (!status.empty()) {
      const std::string_view said = CutUtf8(Trim(status.substr(0, status.rfind(']'))), 100);
      Append(message, Say("setupapi.section.quote", {{"quote", std::string(said)}}));
    }
    if (section_.warnings > 0) {
      Append(message,
             SayCounted("setupapi.section.warnings", static_cast<int64_t>(section_.warnings)));
    }
    finding.message = message + ".";
    if (section_.error_code) {
      // The code's remedy, naming the INF, file, service or signer the
      // failed operation's line gives; an unknown code says so.
      const MessageFacts read = ReadSetupApiLine(section_.error_text);
      const Explanation explained =
          Explain(CodeKind::SetupApi, *section_.error_code, read.facts,
                  has_error_line ? Trim(section_.error_text) : Trim(status));
      finding.remedy = explained.remedy;
    }
    found.push_back(std::move(finding));
  }

  std::string file_;
  EvidenceKeeper* evidence_ = nullptr;  // the pump's, for the line being read
  Section section_;
  std::vector<Finding> velmora_;  // listed first
  std::vector<Finding> others_;
  size_t dropped_ = 0;
  bool understood_ = false;
};

}  // namespace

std::unique_ptr<Reader> MakeSetupApiReader(const std::string& file) {
  return std::make_unique<SetupApiReader>(file);
}

}  // namespace triage
