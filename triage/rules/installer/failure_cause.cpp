#include "failure_cause.h"

#include "finding.h"
#include "message_facts.h"
#include "msi_grammar.h"

namespace triage {
namespace {

// Messages that only restate that the installation failed: never a cause.
bool IsGeneric(int64_t code) { return code == 1708 || code == 1603; }

void Merge(Facts& into, const Facts& from) {
  for (const auto& [name, value] : from) into.emplace(name, value);
}

}  // namespace

Cause CauseOfFailedAction(const std::vector<EvidenceLine>& errors, const Facts& context) {
  Cause product;
  Cause custom;
  for (const EvidenceLine& error : errors) {
    const MsiLine line = ParseMsiLine(error.text);
    const MessageFacts read = ReadInstallerMessage(error.text);
    if (line.kind == MsiLineKind::CustomAction) {
      if (custom.kind == CauseKind::None && read.code) {
        custom.kind = CauseKind::CustomAction;
        custom.code = read.code;
        custom.facts = read.facts;
        custom.line = std::string(QuoteText(error.text));
      }
      continue;
    }
    const bool message = line.kind == MsiLineKind::ErrorMessage ||
                         line.kind == MsiLineKind::ProductError || line.kind == MsiLineKind::Note;
    if (!message || !read.code || IsGeneric(*read.code)) continue;
    if (product.kind == CauseKind::None) {
      product.kind = CauseKind::ProductError;
      product.code = read.code;
      product.line = std::string(QuoteText(error.text));
    }
    // The note and the message of one error each give some of its facts.
    if (read.code == product.code) Merge(product.facts, read.facts);
  }
  Cause& chosen = product.kind != CauseKind::None ? product : custom;
  if (chosen.kind == CauseKind::None) return chosen;
  // A product error raised by a custom action (1722) names it too.
  if (&chosen == &product && custom.kind != CauseKind::None) Merge(product.facts, custom.facts);
  Merge(chosen.facts, context);
  chosen.explained = Explain(CodeKind::Installer, *chosen.code, chosen.facts, chosen.line);
  return chosen;
}

Explanation ExplainInstallerLine(int64_t code, std::string_view line) {
  const MessageFacts read = ReadInstallerMessage(line);
  return Explain(CodeKind::Installer, code, read.facts, QuoteText(line));
}

std::string CauseText(const Explanation& explained, std::optional<int64_t> code) {
  // A code the catalogue does not know is told in the log's own words.
  std::string text = explained.known ? explained.meaning : "\"" + explained.meaning + "\"";
  if (code) text += " (" + CodeText(*code) + ")";
  return text;
}

}  // namespace triage
