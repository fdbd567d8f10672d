#include "knowledge.h"

#include <cstring>
#include <stdexcept>

#include "finding.h"
#include "knowledge_table.h"
#include "text.h"

namespace triage {
namespace {

const char* KindName(CodeKind kind) {
  switch (kind) {
    case CodeKind::Installer:
      return "installer";
    case CodeKind::SetupApi:
      return "setupapi";
    case CodeKind::Hresult:
      return "hresult";
  }
  return "installer";
}

const KnowledgeRow* FindRow(std::string_view kind, int64_t code, std::string_view name,
                            const Facts* facts);

// How a fact is spoken of when the log does not give it: the catalogue's
// "wording.FACT" text.
std::string StandardWording(std::string_view fact) {
  const std::string name = "wording." + std::string(fact);
  const KnowledgeRow* row = FindRow("text", 0, name, nullptr);
  if (row == nullptr) row = FindRow("text", 0, "wording.unlogged", nullptr);
  return row == nullptr ? std::string() : std::string(row->says);
}

std::vector<std::string> SplitLines(const char* text) {
  std::vector<std::string> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return lines;
}

bool Present(const Facts& facts, std::string_view fact) {
  const auto found = facts.find(std::string(fact));
  return found != facts.end() && !found->second.empty();
}

const KnowledgeRow* FindRow(std::string_view kind, int64_t code, std::string_view name,
                            const Facts* facts) {
  const KnowledgeRow* plain = nullptr;
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    const KnowledgeRow& row = kKnowledgeRows[i];
    if (row.code != code || kind != row.kind || name != row.name) continue;
    if (*row.with == '\0') {
      if (plain == nullptr) plain = &row;
    } else if (facts != nullptr && Present(*facts, row.with)) {
      return &row;
    }
  }
  return plain;
}

const KnowledgeRow* Group(const KnowledgeRow& row) {
  return *row.use == '\0' ? nullptr : FindRow("group", 0, row.use, nullptr);
}

std::string KeyOf(const KnowledgeRow& row) {
  std::string key = row.kind;
  key += ' ';
  if (*row.name != '\0') {
    key += row.name;
  } else if (std::strcmp(row.kind, "installer") == 0) {
    key += std::to_string(row.code);
  } else {
    key += HexCode(row.code);
  }
  if (*row.with != '\0') key += std::string(" with ") + row.with;
  return key;
}

Explanation FromRow(const KnowledgeRow& row, const Facts& facts) {
  const KnowledgeRow* group = Group(row);
  Explanation out;
  out.known = true;
  out.entry = KeyOf(row);
  out.meaning = FillIn(row.meaning, facts);
  const char* causes = *row.causes != '\0' || group == nullptr ? row.causes : group->causes;
  for (const std::string& cause : SplitLines(causes)) out.causes.push_back(FillIn(cause, facts));
  const char* remedy = *row.remedy != '\0' || group == nullptr ? row.remedy : group->remedy;
  out.remedy = FillIn(remedy, facts);
  return out;
}

Explanation Unknown(std::string what, std::string_view logged_text) {
  const Facts facts{{"code", what}};
  Explanation out;
  out.entry = what;
  out.meaning = logged_text.empty() ? Say("unknown.meaning", facts) : std::string(logged_text);
  out.remedy = Say("unknown.remedy", facts);
  return out;
}

std::string CodeText(CodeKind kind, int64_t code) {
  return Say("unknown.code",
             {{"kind", KindName(kind)},
              {"code", kind == CodeKind::Installer ? std::to_string(code) : HexCode(code)}});
}

}  // namespace

std::string FillIn(std::string_view text, const Facts& facts) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('{', at);
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
    if (close == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, open - at));
    const std::string_view hole = text.substr(open + 1, close - open - 1);
    const std::size_t bar = hole.find('|');
    const std::string fact(hole.substr(0, bar));
    const auto found = facts.find(fact);
    if (found != facts.end() && !found->second.empty()) {
      out += found->second;
    } else {
      out +=
          bar == std::string_view::npos ? StandardWording(fact) : std::string(hole.substr(bar + 1));
    }
    at = close + 1;
  }
  return out;
}

Explanation Explain(CodeKind kind, int64_t code, const Facts& facts, std::string_view logged_text) {
  const uint64_t bits = static_cast<uint64_t>(code) & 0xFFFFFFFFu;
  if (kind != CodeKind::Installer) code = static_cast<int64_t>(bits);
  if (const KnowledgeRow* row = FindRow(KindName(kind), code, "", &facts))
    return FromRow(*row, facts);
  const int64_t low = static_cast<int64_t>(bits & 0xFFFFu);
  if ((bits & 0xFFFF0000u) == 0x80070000u) {
    // A Win32 code in an HRESULT: the installer's entry only where the code
    // is one of its results, the device-setup's where it is a Win32 code.
    const char* inner = kind == CodeKind::SetupApi ? "setupapi" : "installer";
    const KnowledgeRow* row = FindRow(inner, low, "", &facts);
    if (row != nullptr && std::strcmp(row->is, "result") == 0) return FromRow(*row, facts);
  }
  if (kind == CodeKind::SetupApi && (bits & 0xFFFFF000u) == 0x800F0000u) {
    const int64_t setupapi = static_cast<int64_t>(0xE0000000u | (bits & 0xFFFu));
    if (const KnowledgeRow* row = FindRow("setupapi", setupapi, "", &facts))
      return FromRow(*row, facts);
  }
  return Unknown(CodeText(kind, code), logged_text);
}

std::string Say(std::string_view name, const Facts& facts) {
  const KnowledgeRow* row = FindRow("text", 0, name, nullptr);
  if (row == nullptr) throw std::logic_error("no text " + std::string(name) + " in the catalogue");
  return FillIn(row->says, facts);
}

std::string SayCounted(std::string_view name, int64_t count, Facts facts) {
  if (count == 1) return Say(std::string(name) + ".one", facts);
  facts["count"] = std::to_string(count);
  return Say(name, facts);
}

void Append(std::string& text, std::string_view piece) {
  if (piece.empty()) return;
  const bool continues = std::strchr(",;:.)", piece.front()) != nullptr;
  if (!text.empty() && !continues) text += ' ';
  text.append(piece);
}

Explanation ExplainRule(std::string_view rule, const Facts& facts) {
  if (const KnowledgeRow* row = FindRow("rule", 0, rule, &facts)) return FromRow(*row, facts);
  return Unknown(Say("unknown.rule", {{"rule", std::string(rule)}}), {});
}

std::map<int, std::string> NoteFields(int64_t code) {
  std::map<int, std::string> fields;
  const KnowledgeRow* row = FindRow("installer", code, "", nullptr);
  if (row == nullptr) return fields;
  std::string_view rest = row->note;
  while (!rest.empty()) {
    const std::size_t blank = rest.find(' ');
    const std::string_view pair = rest.substr(0, blank);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos) {
      if (const auto number = ParseDecimal(pair.substr(0, equals))) {
        fields[static_cast<int>(*number)] = std::string(pair.substr(equals + 1));
      }
    }
    if (blank == std::string_view::npos) break;
    rest.remove_prefix(blank + 1);
  }
  return fields;
}

std::vector<std::string> MessagePatterns(int64_t code) {
  // Every entry of the code, variants too: a variant's message is the one
  // that names its fact.
  std::vector<std::string> patterns;
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    const KnowledgeRow& row = kKnowledgeRows[i];
    if (std::strcmp(row.kind, "installer") != 0 || row.code != code) continue;
    for (std::string& line : SplitLines(row.says)) patterns.push_back(std::move(line));
  }
  return patterns;
}

std::vector<std::string> KnowledgeKeys() {
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    const char* kind = kKnowledgeRows[i].kind;
    if (std::strcmp(kind, "group") != 0 && std::strcmp(kind, "text") != 0)
      keys.push_back(KeyOf(kKnowledgeRows[i]));
  }
  return keys;
}

std::string KnowledgeText() {
  std::string out;
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    const KnowledgeRow& row = kKnowledgeRows[i];
    if (std::strcmp(row.kind, "group") == 0) continue;
    if (std::strcmp(row.kind, "text") == 0) {
      out += KeyOf(row) + "\n    Says: " + row.says + "\n";
      continue;
    }
    const KnowledgeRow* group = Group(row);
    out += KeyOf(row) + "\n    Means: " + row.meaning + "\n";
    const char* causes = *row.causes != '\0' || group == nullptr ? row.causes : group->causes;
    for (const std::string& cause : SplitLines(causes)) out += "    Likely: " + cause + "\n";
    const char* remedy = *row.remedy != '\0' || group == nullptr ? row.remedy : group->remedy;
    out += std::string("    What to do: ") + remedy + "\n";
  }
  return out;
}

}  // namespace triage
