// The kinds of file velmora-triage reads, declared once: how a name or the
// first lines of a file show its kind, the reader that answers for it, and
// whether a collected folder should hold one. A new kind is one row here
// and one reader.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rules/reader.h"

namespace triage {

struct FileKind {
  const char* name;  // "installer log", as messages say it
  // By the file's name, lower-case, without any folder part.
  bool (*by_name)(std::string_view name);
  // By the decoded first lines of a file whose name says nothing; null
  // when the kind is never told by content.
  bool (*by_content)(std::string_view head);
  std::unique_ptr<Reader> (*make_reader)(const std::string& file);
  // The finding when a collected folder lacks this kind; null when it need
  // not hold one.
  const char* missing_rule;
};

const std::vector<FileKind>& FileKinds();
// Null when no kind claims the name.
const FileKind* KindByName(std::string_view name);
// The kind whose content test the head passes first (installer logs last,
// as they take anything).
const FileKind* KindByContent(std::string_view head);

}  // namespace triage
