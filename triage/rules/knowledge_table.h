// The catalogue of knowledge as the build compiles it in: one row per block
// of triage/rules/knowledge/*.txt, texts as written there (see its README).
#pragma once

#include <cstddef>
#include <cstdint>

namespace triage {

struct KnowledgeRow {
  const char* kind;     // "installer", "setupapi", "hresult", "rule", "group"
  int64_t code;         // 0 for a rule or a group
  const char* name;     // a rule's id or a group's name
  const char* with;     // a variant's fact, "" for the plain entry
  const char* note;     // "2=product 3=system_error"
  const char* says;     // English message patterns, one a line
  const char* meaning;  //
  const char* causes;   // one a line, likeliest first
  const char* remedy;   //
  const char* use;      // the group that gives what the row lacks
  const char* is;       // "result": also a Win32 / msiexec result code
  const char* source;   // file:line of the block
};

extern const KnowledgeRow kKnowledgeRows[];
extern const size_t kKnowledgeRowCount;

}  // namespace triage
