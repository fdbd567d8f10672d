// The catalogue of knowledge against log lines written in the formats real
// logs use (knowledge_cases.txt): each line's code and facts as the readers
// find them, and the remedy the catalogue gives for them. Every entry that
// names a code must be answered by at least one line.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "installer/message_facts.h"
#include "knowledge.h"
#include "knowledge_table.h"
#include "text.h"

namespace triage::test {
namespace {

struct Case {
  int line = 0;
  std::string kind, text, code, phrase;
  Facts facts;
};

std::vector<std::string> SplitOn(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = text.find(separator, at);
    parts.emplace_back(Trim(std::string_view(text).substr(at, end - at)));
    if (end == std::string::npos) return parts;
    at = end + separator.size();
  }
}

std::vector<Case> ReadCases() {
  std::ifstream in(KNOWLEDGE_CASES);
  std::vector<Case> cases;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const auto columns = SplitOn(line, " |");
    EXPECT_EQ(columns.size(), 5u) << "knowledge_cases.txt:" << number;
    if (columns.size() != 5) continue;
    Case c{number, columns[0], columns[1], columns[2], columns[4], {}};
    if (!columns[3].empty()) {
      for (const std::string& pair : SplitOn(columns[3], "; ")) {
        const std::size_t equals = pair.find('=');
        c.facts[pair.substr(0, equals)] = pair.substr(equals + 1);
      }
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

CodeKind KindOf(const std::string& kind) {
  return kind == "setupapi"  ? CodeKind::SetupApi
         : kind == "hresult" ? CodeKind::Hresult
                             : CodeKind::Installer;
}

std::string Printed(const std::optional<int64_t>& code, const std::string& kind) {
  if (!code) return "-";
  if (kind == "installer") return std::to_string(*code);
  std::ostringstream hex;
  hex << "0x" << std::hex << *code;
  return hex.str();
}

std::string Listed(const Facts& facts) {
  std::string out;
  for (const auto& [name, value] : facts) out += name + "=" + value + "; ";
  return out;
}

TEST(Knowledge, EveryLineGivesItsCodeFactsAndRemedy) {
  const std::vector<Case> cases = ReadCases();
  ASSERT_GT(cases.size(), 200u) << "the cases file was not found: " << KNOWLEDGE_CASES;
  std::set<std::string> answered;
  for (const Case& c : cases) {
    SCOPED_TRACE("knowledge_cases.txt:" + std::to_string(c.line));
    Explanation explained;
    if (c.kind == "rule") {
      explained = ExplainRule(c.text, c.facts);
    } else {
      // "upgrade": an installer line inside RemoveExistingProducts, its
      // facts joined by what the rest of the log states of the older product.
      const bool upgrade = c.kind == "upgrade";
      MessageFacts read = c.kind == "installer" || upgrade ? ReadInstallerMessage(c.text)
                          : c.kind == "setupapi"           ? ReadSetupApiLine(c.text)
                                                           : ReadBundleLine(c.text);
      EXPECT_EQ(Printed(read.code, upgrade ? "installer" : c.kind), c.code);
      if (upgrade) {
        for (const auto& [name, value] : read.facts) EXPECT_EQ(c.facts.at(name), value) << name;
        read.facts = c.facts;
      }
      EXPECT_EQ(Listed(read.facts), Listed(c.facts));
      if (!read.code) continue;
      explained = Explain(KindOf(c.kind), *read.code, read.facts, c.text);
    }
    EXPECT_TRUE(explained.known) << explained.entry;
    answered.insert(explained.entry);
    EXPECT_NE(explained.remedy.find(c.phrase), std::string::npos)
        << explained.entry << ": " << explained.remedy;
  }
  for (const std::string& key : KnowledgeKeys()) {
    EXPECT_EQ(answered.count(key), 1u) << key << " has no log line in knowledge_cases.txt";
  }
}

// Every hole and note field names a fact the readers know, every group
// used exists, every variant has a plain entry to fall back on.
TEST(Knowledge, TheDataIsConsistent) {
  const std::set<std::string> facts = {
      "file",     "folder",  "volume",    "service",      "service_name",  "key",
      "value",    "action",  "location",  "command",      "entry",         "library",
      "product",  "version", "package",   "log",          "inf",           "signer",
      "device",   "process", "account",   "assembly",     "transform",     "system_error",
      "hresult",  "table",   "property",  "dialog",       "cabinet",       "font",
      "shortcut", "feature", "component", "product_code", "cached_package"};
  auto known = [&](const std::string& name) {
    return facts.count(name) == 1 || StartsWith(name, "argument");
  };
  // A text's holes are filled by the program, a fact's wording by the catalogue.
  std::set<std::string> wordings;
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    const std::string name = kKnowledgeRows[i].name;
    if (StartsWith(name, "wording.")) wordings.insert(name.substr(8));
  }
  for (const std::string& fact : facts)
    EXPECT_EQ(wordings.count(fact), 1u) << "no wording." << fact;
  std::set<std::string> groups;
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    if (std::string(kKnowledgeRows[i].kind) == "group") groups.insert(kKnowledgeRows[i].name);
  }
  for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
    const KnowledgeRow& row = kKnowledgeRows[i];
    SCOPED_TRACE(row.source);
    const bool frame = std::string(row.kind) == "text";
    for (const char* text : {row.meaning, row.causes, row.remedy, frame ? "" : row.says}) {
      const std::string_view view = text;
      for (std::size_t at = view.find('{'); at != std::string_view::npos;
           at = view.find('{', at + 1)) {
        const std::size_t end = view.find_first_of("|}", at);
        ASSERT_NE(end, std::string_view::npos);
        EXPECT_LT(view.find('}', at), view.find('{', at + 1)) << "a hole not closed: " << view;
        EXPECT_TRUE(known(std::string(view.substr(at + 1, end - at - 1)))) << view;
      }
    }
    for (const auto& [number, name] : NoteFields(row.code)) {
      EXPECT_TRUE(known(name)) << name;
    }
    if (*row.use != '\0') {
      EXPECT_EQ(groups.count(row.use), 1u) << row.use;
    }
    if (*row.with != '\0') {
      EXPECT_TRUE(known(row.with));
      const Explanation plain = Explain(KindOf(row.kind), row.code, {});
      EXPECT_TRUE(plain.known && plain.entry.find(" with ") == std::string::npos);
    }
  }
}

// What the lookup does beyond the catalogue's own entries.
TEST(Knowledge, FallbacksNeverBorrowAnotherCodesRemedy) {
  struct Lookup {
    CodeKind kind;
    int64_t code;
    const char* entry;  // "" for unknown
  };
  const Lookup lookups[] = {
      {CodeKind::Hresult, 0x80070652, "installer 1618"},  // a result code inside
      {CodeKind::Hresult, 0x800704C7, "installer 1223"},
      {CodeKind::Hresult, 0x8007051E, ""},  // Win32 1310 is not the installer's message 1310
      {CodeKind::Hresult, 0x80004005, ""},
      {CodeKind::SetupApi, 0x800F022F, "setupapi 0xE000022F"},
      {CodeKind::SetupApi, 0x80070005, "setupapi 0x5"},
      {CodeKind::SetupApi, 0xE000020E, ""},
      {CodeKind::Installer, 1102, ""},
      {CodeKind::Installer, 2826, ""},
  };
  for (const Lookup& lookup : lookups) {
    const Explanation explained = Explain(lookup.kind, lookup.code, {}, "Error 9999. Odd.");
    EXPECT_EQ(explained.known ? explained.entry : std::string(), lookup.entry)
        << std::hex << lookup.code;
    if (!explained.known) {
      EXPECT_EQ(explained.meaning, "Error 9999. Odd.");
      EXPECT_NE(explained.remedy.find("does not know"), std::string::npos);
    }
  }
  // A quoted system error is a fact, never the code: 1714, not 1620.
  const MessageFacts read = ReadInstallerMessage(
      "Error 1714. The older version of Merlin SIP cannot be removed. System Error 1620.");
  EXPECT_EQ(read.code, 1714);
  const Explanation explained = Explain(CodeKind::Installer, *read.code, read.facts);
  EXPECT_EQ(explained.remedy.find("Download the installer again"), std::string::npos);
  EXPECT_EQ(FillIn("{file} in {folder|its folder}", {{"file", "a.dll"}}), "a.dll in its folder");
  EXPECT_NE(KnowledgeText().find("installer 1714\n"), std::string::npos);
}

}  // namespace
}  // namespace triage::test
