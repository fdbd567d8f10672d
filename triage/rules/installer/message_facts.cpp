#include "message_facts.h"

#include <cctype>
#include <initializer_list>
#include <string>

#include "text.h"

namespace triage {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Runs of blanks as one: logs put two blanks between sentences, the
// catalogue's patterns one.
std::string OneBlank(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsBlank(c) && (out.empty() || out.back() == ' ')) continue;
    out += IsBlank(c) ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

void Put(Facts& facts, const std::string& name, std::string_view value) {
  value = Trim(value);
  if (!value.empty() && facts.count(name) == 0) facts[name] = std::string(CutUtf8(value));
}

// The engine's prefix, "MSI (s) (C0:34) [10:49:14:456]: " or
// "MSI (s) (C8:0C): ", taken off.
std::string_view WithoutEnginePrefix(std::string_view line) {
  line = Trim(line);
  if (!StartsWith(line, "MSI (")) return line;
  std::size_t end = line.find("]: ");
  if (end != std::string_view::npos && end < 48) return line.substr(end + 3);
  end = line.find("): ", 8);
  if (end != std::string_view::npos && end < 48) return line.substr(end + 3);
  return line;
}

// A literal found after a hole ends the hole there, unless it ends in a
// full stop that a letter follows ("avcodec-57.dll": the stop of ".dll").
std::size_t FindLiteral(std::string_view text, std::string_view literal, std::size_t from) {
  while (true) {
    const std::size_t at = text.find(literal, from);
    if (at == std::string_view::npos || literal.back() != '.') return at;
    const std::size_t after = at + literal.size();
    if (after >= text.size() || text[after] == ' ') return at;
    from = at + 1;
  }
}

// `pattern` ("Error writing to file: {file}.") matched against `text`; its
// holes' values added to `facts`. The first literal may stand anywhere.
bool MatchPattern(std::string_view pattern, std::string_view text, Facts& facts) {
  Facts found;
  std::size_t at = 0;
  std::string hole;  // the hole waiting for its end
  std::size_t hole_start = 0;
  bool first = true;
  while (!pattern.empty()) {
    if (pattern.front() == '{') {
      const std::size_t close = pattern.find('}');
      if (close == std::string_view::npos) return false;
      hole = std::string(pattern.substr(1, close - 1));
      hole_start = at;
      pattern.remove_prefix(close + 1);
      first = false;
      continue;
    }
    const std::size_t next = pattern.find('{');
    const std::string_view literal = pattern.substr(0, next);
    pattern.remove_prefix(literal.size());
    std::size_t where;
    if (!hole.empty()) {
      where = FindLiteral(text, literal, at);
      if (where == std::string_view::npos) return false;
      found[hole] = std::string(text.substr(hole_start, where - hole_start));
      hole.clear();
    } else if (first) {
      where = text.find(literal);
      if (where == std::string_view::npos) return false;
    } else {
      return false;  // two literals in a row do not occur
    }
    first = false;
    at = where + literal.size();
  }
  if (!hole.empty()) {
    std::string_view rest = Trim(text.substr(hole_start));
    if (EndsWith(rest, ".")) rest.remove_suffix(1);
    found[hole] = std::string(rest);
  }
  for (const auto& [name, value] : found) Put(facts, name, value);
  return true;
}

// "Note: 1: 1714 2: Merlin SIP 3: 1620": field N runs to " N+1: ".
void ReadNote(std::string_view fields, MessageFacts& out) {
  std::map<int, std::string_view> values;
  std::size_t at = 0;
  for (int number = 1; number < 16; ++number) {
    const std::string next = " " + std::to_string(number + 1) + ": ";
    const std::size_t end = fields.find(next, at);
    values[number] = fields.substr(at, end == std::string_view::npos ? end : end - at);
    if (end == std::string_view::npos) break;
    at = end + next.size();
  }
  out.code = ParseDecimal(Trim(values[1]));
  if (!out.code) return;
  for (const auto& [number, name] : NoteFields(*out.code)) {
    const auto value = values.find(number);
    if (value != values.end()) Put(out.facts, name, value->second);
  }
}

// "The arguments are: C:\x.ipi, -2147287038, ": the note's fields 2, 3, 4.
void ReadArguments(std::string_view message, MessageFacts& out) {
  constexpr std::string_view kArguments = "The arguments are: ";
  const std::size_t at = message.find(kArguments);
  if (at == std::string_view::npos || !out.code) return;
  const auto names = NoteFields(*out.code);
  std::string_view rest = message.substr(at + kArguments.size());
  for (int number = 2; number < 5 && !rest.empty(); ++number) {
    const std::size_t comma = rest.find(", ");
    const auto name = names.find(number);
    std::string_view value = Trim(rest.substr(0, comma));
    while (EndsWith(value, ",")) value.remove_suffix(1);  // the list's last comma
    Put(out.facts, name != names.end() ? name->second : "argument" + std::to_string(number), value);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 2);
  }
}

// "System Error 1620." / "System error 5" inside a message: a fact.
void ReadSystemError(std::string_view message, MessageFacts& out) {
  for (std::size_t at = 0; at < message.size(); ++at) {
    if (message[at] != 'S' && message[at] != 's') continue;
    if (!EqualsNoCase(message.substr(at, 13), "system error ") &&
        !EqualsNoCase(message.substr(at, 13), "system error:"))
      continue;
    std::string_view rest = message.substr(at + 13);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == ':')) rest.remove_prefix(1);
    std::size_t used = 0;
    if (rest.empty() || !(IsDigit(rest.front()) || rest.front() == '-')) continue;
    if (rest.front() == '-') ++used;
    while (used < rest.size() && IsDigit(rest[used])) ++used;
    Put(out.facts, "system_error", rest.substr(0, used));
    return;
  }
}

// A label word of any language, then the number: "Error 1714.", "Fehler
// 1714.", "Info 1603.", "错误 1722。", "DEBUG: Error 2826:". The rest of the
// message after it in `rest`.
std::optional<int64_t> LabelledNumber(std::string_view message, std::string_view* rest) {
  if (StartsWith(message, "DEBUG: ")) message.remove_prefix(7);
  const std::size_t blank = message.find(' ');
  if (blank == std::string_view::npos || blank == 0 || blank >= 24 || IsDigit(message[0]))
    return std::nullopt;
  std::size_t used = 0;
  const auto code = ParseDecimal(message.substr(blank + 1), &used);
  if (!code || used < 4 || used > 5) return std::nullopt;
  std::string_view after = message.substr(blank + 1 + used);
  if (StartsWith(after, ".") || StartsWith(after, ":")) {
    after.remove_prefix(1);
  } else if (StartsWith(after, "\xE3\x80\x82")) {  // the ideographic full stop
    after.remove_prefix(3);
  } else {
    return std::nullopt;
  }
  *rest = Trim(after);
  return code;
}

}  // namespace

MessageFacts ReadInstallerMessage(std::string_view line) {
  MessageFacts out;
  std::string_view text = WithoutEnginePrefix(line);
  if (StartsWith(text, "Note: 1: ")) {
    ReadNote(text.substr(9), out);
    return out;
  }
  constexpr std::string_view kReturned = " returned actual error code ";
  if (StartsWith(text, "CustomAction ") && Contains(text, kReturned)) {
    const std::size_t at = text.find(kReturned);
    Put(out.facts, "action", text.substr(13, at - 13));
    out.code = ParseDecimal(text.substr(at + kReturned.size()));
    return out;
  }
  constexpr std::string_view kReturning = "MainEngineThread is returning ";
  if (StartsWith(text, kReturning)) {
    out.code = ParseDecimal(text.substr(kReturning.size()));
    return out;
  }
  // The English closing line: "... Product Name: X. Product Version: 2.1.0.
  // ... Installation success or error status: 1603."
  constexpr std::string_view kStatus = "success or error status: ";
  if (const std::size_t at = text.find(kStatus); at != std::string_view::npos) {
    out.code = ParseDecimal(text.substr(at + kStatus.size()));
    MatchPattern("Product Name: {product}. Product Version: {version}. Product Language", text,
                 out.facts);
    return out;
  }
  // "Product: X -- message" (the label in the log's language).
  const std::size_t colon = text.substr(0, 24).find(": ");
  const std::size_t dashes = colon == std::string_view::npos ? colon : text.find(" -- ", colon);
  std::string product;
  if (dashes != std::string_view::npos) {
    product = std::string(Trim(text.substr(colon + 2, dashes - colon - 2)));
    text = Trim(text.substr(dashes + 4));
  }
  const std::string message = OneBlank(text);
  constexpr std::string_view kErrorCodeIs = "The error code is ";
  std::string_view rest = message;
  if (const std::size_t at = message.find(kErrorCodeIs); at != std::string::npos) {
    out.code = ParseDecimal(std::string_view(message).substr(at + kErrorCodeIs.size()));
    ReadArguments(message, out);
  } else {
    out.code = LabelledNumber(message, &rest);
  }
  if (out.code) {
    for (const std::string& pattern : MessagePatterns(*out.code)) {
      if (MatchPattern(pattern, rest, out.facts)) break;
    }
  }
  ReadSystemError(rest, out);
  Put(out.facts, "product", product);
  return out;
}

namespace {

// The hex code after the first of `markers` found in `text`.
std::optional<int64_t> HexAfter(std::string_view text,
                                std::initializer_list<std::string_view> markers) {
  for (std::string_view marker : markers) {
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) continue;
    if (auto code = ParseHex(text.substr(at + marker.size()))) return code;
  }
  return std::nullopt;
}

// The text between `open` and the next `close` after it.
std::string_view Between(std::string_view text, std::string_view open, std::string_view close) {
  const std::size_t at = text.find(open);
  if (at == std::string_view::npos) return {};
  const std::size_t start = at + open.size();
  const std::size_t end = text.find(close, start);
  return end == std::string_view::npos ? std::string_view() : text.substr(start, end - start);
}

// The path that ends in ".inf": back to a quote, a brace, "= " or ": ".
std::string_view InfPath(std::string_view text) {
  std::size_t end = std::string_view::npos;
  for (std::size_t at = 0; at + 4 <= text.size(); ++at) {
    if (EqualsNoCase(text.substr(at, 4), ".inf") &&
        (at + 4 == text.size() || !std::isalnum(static_cast<unsigned char>(text[at + 4])))) {
      end = at + 4;
      break;
    }
  }
  if (end == std::string_view::npos) return {};
  std::size_t start = end - 4;
  while (start > 0) {
    const char c = text[start - 1];
    if (c == '\'' || c == '"' || c == '{' || c == '=' || c == '(') break;
    if (c == ' ' && start >= 2 && (text[start - 2] == ':' || text[start - 2] == '=')) break;
    // A bare name ("in oem12.inf") ends at a blank; a path with blanks has a backslash.
    if (c == ' ' && text.substr(start, end - start).find('\\') == std::string_view::npos) break;
    --start;
  }
  return Trim(text.substr(start, end - start));
}

}  // namespace

MessageFacts ReadSetupApiLine(std::string_view line) {
  MessageFacts out;
  std::string_view text = Trim(line);
  out.code = HexAfter(text, {"Error = 0x", "Error 0x", "error 0x", "Error: 0x", "(0x"});
  if (!out.code) {
    const std::size_t at = text.find("Error ");
    std::size_t used = 0;
    const auto number =
        at == std::string_view::npos ? std::nullopt : ParseDecimal(text.substr(at + 6), &used);
    if (number && text.substr(at + 6 + used, 1) == ":") out.code = number;
  }
  Put(out.facts, "inf", InfPath(text));
  Put(out.facts, "file", Between(text, "File = '", "'"));
  Put(out.facts, "file", Between(text, "file '", "'"));
  Put(out.facts, "service", Between(text, "ervice '", "'"));
  if (const std::size_t at = text.find("Signer Name = "); at != std::string_view::npos) {
    const std::string_view signer = text.substr(at + 14);
    Put(out.facts, "signer", signer.substr(0, signer.find(',')));
  }
  return out;
}

MessageFacts ReadBundleLine(std::string_view line) {
  MessageFacts out;
  std::string_view text = Trim(line);
  out.code = HexAfter(text, {"Error 0x", "result: 0x", "Exit code: 0x"});
  Put(out.facts, "package", Between(text, "package: ", ","));
  Put(out.facts, "package", Between(text, "variable 'WixBundleLog_", "'"));
  if (Contains(text, "'WixBundleLog_")) Put(out.facts, "log", Between(text, "to value '", "'"));
  return out;
}

}  // namespace triage
