// What velmora-triage knows about the codes of installer, device-setup and
// bundle logs: for each code (or rule) its meaning, its likely causes in
// order and what to do, with the facts a log line gives filled in. The
// texts live in triage/rules/knowledge/*.txt, compiled in at build time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace triage {

enum class CodeKind { Installer, SetupApi, Hresult };

// Named facts of a log line: "file", "folder", "service", "key", "action",
// "product", "version", "inf", "signer", "package", "log", "system_error" ...
using Facts = std::map<std::string, std::string>;

struct Explanation {
  bool known = false;               // false: the catalogue has no entry for it
  std::string entry;                // the entry that answered: "installer 1603 with action"
  std::string meaning;              // filled in; the log's own text for an unknown code
  std::vector<std::string> causes;  // filled in, likeliest first
  std::string remedy;               // filled in
};

// The explanation of `code` with `facts` filled in. A variant whose fact is
// given wins over the plain entry. An HRESULT 0x8007xxxx the catalogue
// lacks uses the Win32 code's entry only where that code is a result code
// (1602, 1603, 3010 ...), never a message number of the same digits; a
// SetupAPI 0x800Fxxxx uses its 0xE000xxxx entry. An unknown code gets
// `logged_text` (the log's own line) as its meaning and a remedy that says
// the code is not known.
Explanation Explain(CodeKind kind, int64_t code, const Facts& facts,
                    std::string_view logged_text = {});
// The entry of a rule that has no code ("burn.package-failed"); unknown
// rules answer as an unknown code does.
Explanation ExplainRule(std::string_view rule, const Facts& facts);

// `text` with its "{fact}" and "{fact|wording}" holes filled from `facts`,
// or from the wording (the fact's standard one) where the fact is missing.
std::string FillIn(std::string_view text, const Facts& facts);

// The catalogue's text `name` ("summary.failed"), its holes filled from
// `facts`: every word a finding or the summary says around the facts comes
// from the catalogue. A name it lacks is a fault of the program and throws
// std::logic_error.
std::string Say(std::string_view name, const Facts& facts = {});
// Say(name + ".one") for a count of 1, else Say(name) with {count} filled.
std::string SayCounted(std::string_view name, int64_t count, Facts facts = {});

// `piece` added to `text` as the catalogue's texts are joined: a piece
// that begins with punctuation continues the text, any other follows a blank.
void Append(std::string& text, std::string_view piece);

// The note fields ("Note: 1: NNNN 2: ...", by number) of an installer
// message `code`, as fact names; and its English message patterns.
std::map<int, std::string> NoteFields(int64_t code);
std::vector<std::string> MessagePatterns(int64_t code);

// Every entry by its key ("installer 1714", "setupapi 0xe0000247", "rule
// burn.package-failed", variants with " with FACT"), for tests and --rules.
std::vector<std::string> KnowledgeKeys();
// Every text the catalogue can say, as the console prints it: each entry's
// key, then "Means: ", "Likely: ", "What to do: " and "Says: " lines.
std::string KnowledgeText();

}  // namespace triage
