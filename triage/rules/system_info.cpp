// "sysinfo.nfo", msinfo32's XML report. Its element names and category
// names are translated on non-English Windows, so the summary is found by
// shape: the first element whose children are pairs of leaves (item name,
// value); its items are read by position, anchored on the one value that
// is never translated, the operating system's maker.
#include <algorithm>
#include <memory>
#include <rapidxml/rapidxml.hpp>
#include <vector>

#include "finding.h"
#include "readers.h"
#include "text.h"

namespace triage {
namespace {

using Node = rapidxml::xml_node<char>;

// Deeper nesting than this is refused before parsing: the parser recurses
// once per level, and a real report is a handful of levels deep.
constexpr int kMaxDepth = 64;

// How deep the elements of `xml` nest, lexed the way the parser reads it
// (comments, CDATA, processing instructions and the document type skipped,
// quoted attribute values honoured), so that it never counts less than the
// parser would recurse.
int NestingDepth(std::string_view xml) {
  int depth = 0;
  int deepest = 0;
  size_t at = 0;
  const auto skip_past = [&](std::string_view end) {
    const size_t found = xml.find(end, at);
    at = found == std::string_view::npos ? xml.size() : found + end.size();
  };
  while ((at = xml.find('<', at)) != std::string_view::npos && deepest <= kMaxDepth) {
    const std::string_view rest = xml.substr(at);
    if (StartsWith(rest, "<!--")) {
      skip_past("-->");
    } else if (StartsWith(rest, "<![CDATA[")) {
      skip_past("]]>");
    } else if (StartsWith(rest, "<?")) {
      skip_past("?>");
    } else if (StartsWith(rest, "<!")) {
      // A document type: to its '>' outside brackets.
      int brackets = 0;
      for (++at; at < xml.size(); ++at) {
        if (xml[at] == '[') ++brackets;
        if (xml[at] == ']') --brackets;
        if (xml[at] == '>' && brackets <= 0) break;
      }
    } else if (StartsWith(rest, "</")) {
      depth = std::max(0, depth - 1);
      skip_past(">");
    } else {
      // A start tag, to its '>' outside quoted values.
      char quote = 0;
      size_t end = at + 1;
      for (; end < xml.size(); ++end) {
        const char c = xml[end];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (end >= xml.size()) break;
      if (xml[end - 1] != '/') deepest = std::max(deepest, ++depth);
      at = end + 1;
    }
  }
  return deepest;
}

bool IsElement(const Node* node) { return node->type() == rapidxml::node_element; }

size_t ElementChildren(const Node* node) {
  size_t count = 0;
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    if (IsElement(child)) ++count;
  }
  return count;
}

// An item of the summary: an element holding at least two elements that
// hold only text.
bool IsItem(const Node* node) {
  size_t leaves = 0;
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    if (!IsElement(child)) continue;
    if (ElementChildren(child) > 0) return false;
    ++leaves;
  }
  return leaves >= 2;
}

size_t ItemChildren(const Node* node) {
  size_t count = 0;
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    if (IsElement(child) && IsItem(child)) ++count;
  }
  return count;
}

// The first element, depth first, with at least two items.
const Node* FindSummary(const Node* node, int depth) {
  if (depth > kMaxDepth) return nullptr;
  if (ItemChildren(node) >= 2) return node;
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    if (!IsElement(child)) continue;
    if (const Node* found = FindSummary(child, depth + 1)) return found;
  }
  return nullptr;
}

// The text of a leaf: its data and CDATA pieces.
std::string LeafText(const Node* leaf) {
  std::string text;
  for (const Node* piece = leaf->first_node(); piece != nullptr; piece = piece->next_sibling()) {
    if (piece->type() == rapidxml::node_data || piece->type() == rapidxml::node_cdata) {
      text.append(piece->value(), piece->value_size());
    }
  }
  return std::string(CutUtf8(Trim(text), 300));
}

struct Item {
  std::string value;
  const char* where = nullptr;  // position in the parsed buffer, for its line
};

// The second leaf of an item is its value.
Item ItemValue(const Node* item) {
  size_t seen = 0;
  for (const Node* child = item->first_node(); child != nullptr; child = child->next_sibling()) {
    if (!IsElement(child)) continue;
    if (++seen == 2) return {LeafText(child), child->name()};
  }
  return {};
}

bool LooksLikeSystemType(std::string_view value) {
  return ContainsNoCase(value, "64") || ContainsNoCase(value, "86") || ContainsNoCase(value, "arm");
}

void Unreadable(const std::string& file, std::string why, Report& report) {
  Finding finding = MakeFinding("sysinfo.unreadable", Severity::Warning, file, 0);
  finding.message = "The system-information report cannot be read: " + why + ".";
  finding.remedy =
      "msinfo32 may have been stopped before it finished; run \"msinfo32 /nfo sysinfo.nfo\" on "
      "the machine again and send that file.";
  report.findings.push_back(std::move(finding));
}

}  // namespace

void ReadSystemInfo(const std::string& file, std::string_view xml, Report& report) {
  if (NestingDepth(xml) > kMaxDepth) {
    Unreadable(file, "its elements nest too deeply to be a system report", report);
    return;
  }
  // The parser writes into the text it parses: give it a copy of our own.
  std::vector<char> buffer(xml.begin(), xml.end());
  buffer.push_back('\0');
  auto document = std::make_unique<rapidxml::xml_document<char>>();
  try {
    document->parse<rapidxml::parse_default>(buffer.data());
  } catch (const rapidxml::parse_error& error) {
    Unreadable(file, std::string("it is not well-formed XML (") + error.what() + ")", report);
    return;
  } catch (const std::bad_alloc&) {
    Unreadable(file, "it is too large", report);
    return;
  }
  const Node* root = document->first_node();
  while (root != nullptr && !IsElement(root)) root = root->next_sibling();
  const Node* summary = root == nullptr ? nullptr : FindSummary(root, 0);
  if (summary == nullptr) {
    Unreadable(file, "it holds no system summary", report);
    return;
  }
  std::vector<Item> items;
  for (const Node* child = summary->first_node(); child != nullptr && items.size() < 64;
       child = child->next_sibling()) {
    if (IsElement(child) && IsItem(child)) items.push_back(ItemValue(child));
  }

  // Windows XP lists: name, version, OS maker, system name, system maker,
  // model, type. Later versions add "Other OS Description" before the OS
  // maker. The maker ("Microsoft Corporation") is never translated.
  size_t maker = 3;
  for (size_t i = 2; i < std::min<size_t>(items.size(), 5); ++i) {
    if (ContainsNoCase(items[i].value, "microsoft")) {
      maker = i;
      break;
    }
  }
  const auto value_at = [&](size_t index) {
    return index < items.size() ? items[index].value : std::string();
  };
  SystemSummary system;
  system.os_name = value_at(0);
  system.os_version = value_at(1);
  system.model = value_at(maker + 3);
  system.system_type = value_at(maker + 4);
  if (!LooksLikeSystemType(system.system_type)) {
    system.system_type.clear();
    for (const Item& item : items) {
      if (StartsWith(item.value, "x64") || StartsWith(item.value, "X86") ||
          StartsWith(item.value, "x86") || StartsWith(item.value, "ARM")) {
        system.system_type = item.value;
        break;
      }
    }
  }

  // The line of the first item's value, counted in the original text.
  uint64_t line = 0;
  if (!items.empty() && items[0].where != nullptr) {
    const size_t offset = static_cast<size_t>(items[0].where - buffer.data());
    line = 1 + static_cast<uint64_t>(
                   std::count(xml.begin(), xml.begin() + std::min(offset, xml.size()), '\n'));
  }
  Finding finding = MakeFinding("sysinfo.summary", Severity::Info, file, line);
  finding.message = "System: " + (system.os_name.empty() ? "unknown Windows" : system.os_name);
  if (!system.os_version.empty()) finding.message += ", version " + system.os_version;
  if (!system.system_type.empty()) finding.message += ", " + system.system_type;
  if (!system.model.empty()) finding.message += ", model " + system.model;
  finding.message += ".";
  finding.remedy = "Nothing to do.";
  report.findings.push_back(std::move(finding));
  report.system = std::move(system);
}

}  // namespace triage
