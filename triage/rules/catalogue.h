// Every rule velmora-triage knows, declared once: its id, the severity it
// usually has, what it detects and what to do. Findings take their severity
// and remedy from here unless the evidence says more (a code's own remedy,
// an attempt that is only history). `velmora-triage --rules` prints it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace triage {

struct Rule {
  const char* id;
  Severity severity;
  const char* detects;
  const char* remedy;
};

const std::vector<Rule>& Catalogue();
// The rule of `id`; an id the catalogue lacks is a fault of the program and
// throws std::logic_error.
const Rule& RuleById(std::string_view id);

// A finding of `rule` about `file`, with the rule's severity and remedy:
// the one way every finding is made.
Finding MakeFinding(std::string_view rule, const std::string& file, std::string message = {},
                    uint64_t line = 0);

// The catalogue as text, for the console: the rules, a blank line, then
// the catalogue of knowledge (KnowledgeText).
std::string CatalogueText();

}  // namespace triage
