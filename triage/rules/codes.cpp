#include "codes.h"

#include <cstring>
#include <map>
#include <utility>

#include "knowledge.h"
#include "knowledge_table.h"

namespace triage {
namespace {

// The catalogue's plain entries as the older interface hands them out: the
// texts filled in without facts, kept for the program's lifetime.
struct Stored {
  std::string meaning;
  std::string remedy;
  CodeInfo info{nullptr, nullptr};
};
using Table = std::map<std::pair<CodeKind, int64_t>, Stored>;

const Table& PlainEntries() {
  static const Table table = [] {
    Table built;
    for (std::size_t i = 0; i < kKnowledgeRowCount; ++i) {
      const KnowledgeRow& row = kKnowledgeRows[i];
      if (*row.with != '\0') continue;
      CodeKind kind;
      if (std::strcmp(row.kind, "installer") == 0) {
        kind = CodeKind::Installer;
      } else if (std::strcmp(row.kind, "setupapi") == 0) {
        kind = CodeKind::SetupApi;
      } else {
        continue;
      }
      const Explanation explained = Explain(kind, row.code, {});
      Stored& stored = built[{kind, row.code}];
      stored.meaning = explained.meaning;
      stored.remedy = explained.remedy;
    }
    for (auto& [key, stored] : built) stored.info = {stored.meaning.c_str(), stored.remedy.c_str()};
    return built;
  }();
  return table;
}

const CodeInfo* Find(CodeKind kind, int64_t code) {
  const Table& table = PlainEntries();
  const auto found = table.find({kind, code});
  return found == table.end() ? nullptr : &found->second.info;
}

}  // namespace

const CodeInfo* FindInstallerCode(int64_t code) { return Find(CodeKind::Installer, code); }
const CodeInfo* FindSetupApiCode(int64_t code) { return Find(CodeKind::SetupApi, code); }

std::string ExplainInstallerCode(int64_t code) {
  std::string text = std::to_string(code);
  if (const CodeInfo* info = FindInstallerCode(code)) {
    text += " (";
    text += info->meaning;
    text += ")";
  }
  return text;
}

std::optional<int64_t> ReturnValueToCode(int64_t logged) {
  switch (logged) {
    case 0:
      return 1626;  // the function could not be executed
    case 1:
      return 0;
    case 2:
      return 1602;
    case 3:
      return 1603;
    case 4:
      return 1604;
    case 5:
      return 0;
    case 6:
      return 1609;
    case 7:
      return 1626;
    case 8:
      return 1618;
    default:
      return std::nullopt;
  }
}

int64_t UnwrapHresult(int64_t hresult) {
  const uint64_t bits = static_cast<uint64_t>(hresult) & 0xFFFFFFFFu;
  if ((bits & 0xFFFF0000u) == 0x80070000u) return static_cast<int64_t>(bits & 0xFFFFu);
  return static_cast<int64_t>(bits);
}

}  // namespace triage
