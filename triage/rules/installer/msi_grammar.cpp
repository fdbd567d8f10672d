#include "msi_grammar.h"

#include <array>

#include "codes.h"
#include "text.h"

namespace triage {
namespace {

constexpr std::string_view kFullStop = "\xE3\x80\x82";          // U+3002, the CJK full stop
constexpr std::string_view kFullColon = "\xEF\xBC\x9A";         // U+FF1A, the full-width colon
constexpr std::string_view kIdeographicComma = "\xE3\x80\x81";  // U+3001
constexpr std::string_view kFullComma = "\xEF\xBC\x8C";         // U+FF0C
// The words before an action line's time ("Action ended", "Aktion beendet
// um", "操作结束") are never longer than this.
constexpr std::size_t kMaxActionPrefix = 48;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The characters of an action's name, looked up as every action line has one.
constexpr std::array<bool, 256> NameChars() {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  }
  return table;
}
constexpr std::array<bool, 256> kNameChars = NameChars();
bool IsNameChar(char c) { return kNameChars[static_cast<unsigned char>(c)]; }

// `text` without a trailing full stop, ASCII or CJK.
std::string_view DropStop(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.back() == '.') return text.substr(0, text.size() - 1);
  if (EndsWith(text, kFullStop)) return text.substr(0, text.size() - kFullStop.size());
  return text;
}

// The word before a message number when the message is no error ("Info
// 1603. The file ... is being held in use"), in the languages Windows
// Installer is translated into.
bool IsNotice(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "Info",        "Warning",        "Informationen", "Warnung", "Information",  "Avertissement",
      "Información", "Advertencia",    "Informação",    "Aviso",   "Informazioni", "Avviso",
      "Сведения",    "Предупреждение", "情報",          "警告",    "信息",         "訊息",
      "정보",        "경고",           "Bilgi",         "Uyarı",   "Informacje",   "Ostrzeżenie"};
  for (const std::string_view known : kWords) {
    if (word == known) return true;
  }
  return false;
}

// "MSI (s) (A4:B0) [10:15:02:310]: payload" and the older "MSI (c) (29:28)
// : payload": the payload, and the clock where there is one.
// The clock is read only for the few lines whose time is used.
std::string_view EnginePayload(std::string_view text, std::string_view& clock) {
  // "MSI (s) (A4:B0) [10:15:02:310]: " as nearly every line has it: the
  // payload at a fixed place.
  if (text.size() > 32 && text[16] == '[' && text[29] == ']' && text[30] == ':' &&
      text[31] == ' ') {
    clock = text.substr(17, 12);
    return text.substr(32);
  }
  const std::string_view head = text.substr(0, 48);
  const std::size_t open = head.find('[', 8);
  if (open != std::string_view::npos) clock = head.substr(open + 1);
  const std::size_t close = head.find(']', 8);
  std::size_t colon = std::string_view::npos;
  if (close != std::string_view::npos && head.substr(close + 1, 2) == ": ") {
    colon = close + 1;
  } else {
    colon = head.find(": ", 8);
  }
  return colon == std::string_view::npos ? std::string_view() : text.substr(colon + 2);
}

// The values of a status or restart line: "<sentence>. Label: value.
// Label: value. ..." in any language, its colons ASCII (", " before one in
// French) or full-width, its fields ended by ASCII or CJK stops and commas.
struct Fields {
  static constexpr std::size_t kMost = 8;
  std::string_view value[kMost];  // from just after each colon to the line's end
  std::size_t count = 0;
};

Fields SplitFields(std::string_view payload) {
  Fields fields;
  std::size_t at = 0;
  while (fields.count < Fields::kMost + 1) {
    std::size_t ascii = payload.find(": ", at);
    std::size_t wide = payload.find(kFullColon, at);
    if (ascii == std::string_view::npos && wide == std::string_view::npos) break;
    std::size_t next = 0;
    if (wide != std::string_view::npos && (ascii == std::string_view::npos || wide < ascii)) {
      next = wide + kFullColon.size();
    } else {
      next = ascii + 2;
    }
    if (fields.count == Fields::kMost) {
      ++fields.count;  // more than any status line has
      break;
    }
    fields.value[fields.count++] = Trim(payload.substr(next));
    at = next;
  }
  return fields;
}

// How often `c` occurs in `text`: a few memchr calls, as it occurs rarely.
std::size_t Occurrences(std::string_view text, char c) {
  std::size_t count = 0;
  for (std::size_t at = text.find(c); at != std::string_view::npos; at = text.find(c, at + 1)) {
    ++count;
  }
  return count;
}

// The value up to the field's end: a stop or comma, ASCII or CJK.
std::string_view FieldText(std::string_view value) {
  std::size_t end = value.size();
  for (const std::string_view stop :
       {std::string_view(". "), std::string_view(", "), kFullStop, kIdeographicComma, kFullComma}) {
    end = std::min(end, value.find(stop));
  }
  return DropStop(value.substr(0, end));
}

// The whole number a value starts with; with `last`, the value must end
// there but for a stop (or what a legacy code page made of one).
std::optional<int64_t> LeadingNumber(std::string_view value, bool last) {
  std::size_t used = 0;
  const auto number = ParseDecimal(value, &used);
  if (!number) return std::nullopt;
  const std::string_view rest = value.substr(used);
  if (!rest.empty() && IsDigit(rest[0])) return std::nullopt;
  if (last && (rest.size() > 4 || rest.find(' ') != std::string_view::npos)) return std::nullopt;
  return number;
}

// A message number: the digits at the start of `text`, a few at most, as
// a note gives one on nearly every other line of some logs.
std::optional<int64_t> MessageNumber(std::string_view text) {
  int64_t value = 0;
  std::size_t digits = 0;
  for (; digits < text.size() && IsDigit(text[digits]); ++digits) {
    if (digits == 9) return std::nullopt;
    value = value * 10 + (text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  return value;
}

// The engine's own working lines, never translated, which make up most of a
// verbose log: none is a line the rules use. Told apart by their first
// letter first, as they are most lines of a large log.
bool IsWorkingLine(std::string_view payload) {
  if (payload.empty()) return false;
  switch (payload[0]) {
    case 'E':
      return StartsWith(payload, "Executing op: ");
    case 'D':
      return StartsWith(payload, "Doing action: ");
    case 'P':
      return StartsWith(payload, "PROPERTY CHANGE: ");
    case 'C':
      return StartsWith(payload, "Component: ");
    case 'F':
      return StartsWith(payload, "Feature: ") || StartsWith(payload, "File: ");
    case 'S':
      return StartsWith(payload, "Skipping action: ");
    case 'T':
      return StartsWith(payload, "Transforming table ");
    default:
      return false;
  }
}

void EngineLine(std::string_view payload, MsiLine& line) {
  if (payload.empty()) return;
  if (IsWorkingLine(payload)) {
    line.kind = MsiLineKind::Engine;
    return;
  }
  if (StartsWith(payload, "Note: 1: ")) {
    line.kind = MsiLineKind::Note;
    line.number = MessageNumber(payload.substr(9));
    return;
  }
  if (StartsWith(payload, "MainEngineThread is returning ")) {
    line.kind = MsiLineKind::EngineReturn;
    line.number = ParseDecimal(payload.substr(30));
    return;
  }
  // "Product: X -- Error 1722. ..." ("产品: X -- 错误 1722。..."): a label,
  // the product, then the message.
  const std::size_t colon = payload.substr(0, 24).find(':');
  const std::size_t dashes = colon == std::string_view::npos ? colon : payload.find(" -- ", colon);
  if (dashes != std::string_view::npos) {
    const std::string_view message = payload.substr(dashes + 4);
    line.value = message;
    const std::size_t blank = message.find(' ');
    if (blank != std::string_view::npos && blank > 0 && blank < 24 && !IsDigit(message[0]) &&
        !IsNotice(message.substr(0, blank))) {
      std::size_t used = 0;
      const auto code = ParseDecimal(message.substr(blank + 1), &used);
      const std::string_view after = message.substr(blank + 1 + used);
      if (code && used == 4 && (StartsWith(after, ".") || StartsWith(after, kFullStop))) {
        line.kind = MsiLineKind::ProductError;
        line.number = code;
        return;
      }
    }
    line.kind = MsiLineKind::ProductMessage;
    return;
  }
  // The closing status line: five fields, the third the language's number,
  // the last the status; a restart notice has six, the last two numbers.
  // Most engine lines have fewer colons (a full-width one counted by its
  // last byte) and are let go at once.
  if (Occurrences(payload, ':') + Occurrences(payload, '\x9A') < 5) {
    line.kind = MsiLineKind::Engine;
    return;
  }
  const Fields fields = SplitFields(payload);
  if (fields.count == 5 && LeadingNumber(fields.value[2], false)) {
    if (const auto status = LeadingNumber(fields.value[4], true)) {
      line.kind = MsiLineKind::Status;
      line.name = FieldText(fields.value[0]);
      line.value = FieldText(fields.value[1]);
      line.number = status;
      return;
    }
  }
  if (fields.count == 6 && LeadingNumber(fields.value[2], false) &&
      LeadingNumber(fields.value[4], false) && LeadingNumber(fields.value[5], true)) {
    line.kind = MsiLineKind::RestartNeeded;
    return;
  }
  line.kind = MsiLineKind::Engine;
}

// "Action start 10:00:00: Name." and "Action ended 10:00:00: Name. Return
// value 3.", as English logs write them: read at once, being a good part of
// a log's lines; anything else goes on to the reading for all languages.
bool EnglishActionLine(std::string_view text, MsiLine& line) {
  constexpr std::size_t kHead = 23;  // "Action start HH:MM:SS: "
  constexpr std::string_view kReturn = ". Return value ";
  if (text.size() < kHead + 2 || !StartsWith(text, "Action ") || text.substr(21, 2) != ": ") {
    return false;
  }
  const std::string_view word = text.substr(7, 6);
  const bool start = word == "start ";
  if (!start && word != "ended ") return false;
  const auto clock = ParseDayClock(text.substr(13, 8));
  std::string_view name = text.substr(kHead);
  if (!clock || name.back() != '.') return false;
  std::optional<int64_t> value;
  if (start) {
    name.remove_suffix(1);
  } else {
    // "Name. Return value N." with one digit.
    if (name.size() < kReturn.size() + 3 || !IsDigit(name[name.size() - 2])) return false;
    const std::size_t tail = name.size() - kReturn.size() - 2;
    if (name.substr(tail, kReturn.size()) != kReturn) return false;
    value = name[name.size() - 2] - '0';
    name = name.substr(0, tail);
  }
  if (name.empty()) return false;
  for (const char c : name) {
    if (!IsNameChar(c)) return false;
  }
  line.kind = start ? MsiLineKind::ActionStart : MsiLineKind::ActionEnded;
  line.number = value;
  line.name = name;
  line.clock = clock;
  return true;
}

// "<a word or few> H:MM:SS: <Action><stop> <rest>": an action starting (no
// rest, or its description) or ending (a word or two and its return value).
// French sets a blank before the colon; a legacy code page other than the
// one the text is read in turns a CJK stop into some other bytes.
bool ActionLine(std::string_view text, MsiLine& line) {
  if (EnglishActionLine(text, line)) return true;
  std::size_t at = 0;
  const std::size_t limit = std::min(text.size(), kMaxActionPrefix);
  while (at < limit && !IsDigit(text[at])) ++at;
  if (at == 0 || at >= limit || text[at - 1] != ' ') return false;
  std::size_t used = 0;
  const auto clock = ParseDayClock(text.substr(at), &used);
  if (!clock) return false;
  std::string_view after = text.substr(at + used);
  if (StartsWith(after, " ")) after.remove_prefix(1);
  if (StartsWith(after, ": ")) {
    after.remove_prefix(2);
  } else if (StartsWith(after, kFullColon)) {
    after = Trim(after.substr(kFullColon.size()));
  } else {
    return false;
  }
  std::size_t end = 0;
  while (end < after.size() &&
         (IsNameChar(after[end]) ||
          (after[end] == '.' && end + 1 < after.size() && IsNameChar(after[end + 1])))) {
    ++end;
  }
  if (end == 0) return false;
  line.name = after.substr(0, end);
  line.clock = clock;
  std::string_view rest = after.substr(end);
  if (StartsWith(rest, ".")) {
    rest.remove_prefix(1);
  } else if (StartsWith(rest, kFullStop)) {
    rest.remove_prefix(kFullStop.size());
  } else if (!rest.empty() && static_cast<unsigned char>(rest[0]) >= 0x80) {
    rest.remove_prefix(std::min(rest.size(), rest.find(' ')));  // a stop, garbled
  } else if (!rest.empty()) {
    return false;
  }
  rest = Trim(rest);
  line.kind = MsiLineKind::ActionStart;
  // English logs say which is which: "Action start" starts the action,
  // "Action" only shows its description; a description may end in a digit.
  const std::string_view prefix = text.substr(0, at);
  if (prefix == "Action start ") return true;
  if (prefix == "Action ") {
    line.kind = MsiLineKind::Other;
    return true;
  }
  // A return value is one digit after a word or two ("Return value 3.",
  // "返回值 3。", "Rückgabewert 3."), at the end but for its stop, and the
  // only digit there; a description is anything else, a step counter
  // ("Schritt 1 von 3") too.
  if (rest.size() > kMaxActionPrefix) return true;
  std::size_t digit = rest.size();
  while (digit > 0 && !IsDigit(rest[digit - 1])) --digit;
  if (digit < 3 || rest[digit - 2] != ' ') return true;
  const std::string_view tail = rest.substr(digit);
  if (tail.size() > 4 || tail.find(' ') != std::string_view::npos) return true;
  std::size_t words = 1;
  for (const char c : rest.substr(0, digit - 1)) {
    if (IsDigit(c)) return true;
    words += c == ' ' ? 1 : 0;
  }
  if (words > 4) return true;
  line.kind = MsiLineKind::ActionEnded;
  line.number = rest[digit - 1] - '0';
  return true;
}

}  // namespace

std::optional<int64_t> ParseDayClock(std::string_view text, std::size_t* used) {
  // "HH:MM:SS", as nearly every clock is written, at once.
  if (text.size() >= 8 && text[2] == ':' && text[5] == ':' && IsDigit(text[0]) &&
      IsDigit(text[1]) && IsDigit(text[3]) && IsDigit(text[4]) && IsDigit(text[6]) &&
      IsDigit(text[7]) && (text.size() == 8 || !IsDigit(text[8]))) {
    const int64_t hour = (text[0] - '0') * 10 + (text[1] - '0');
    const int64_t minute = (text[3] - '0') * 10 + (text[4] - '0');
    const int64_t second = (text[6] - '0') * 10 + (text[7] - '0');
    if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
    if (used != nullptr) *used = 8;
    return hour * 3600 + minute * 60 + second;
  }
  std::size_t hour_digits = 0;
  while (hour_digits < text.size() && hour_digits < 3 && IsDigit(text[hour_digits])) ++hour_digits;
  if (hour_digits < 1 || hour_digits > 2 || text.size() < hour_digits + 6) return std::nullopt;
  const std::string_view rest = text.substr(hour_digits);
  if (rest[0] != ':' || rest[3] != ':' || !IsDigit(rest[1]) || !IsDigit(rest[2]) ||
      !IsDigit(rest[4]) || !IsDigit(rest[5])) {
    return std::nullopt;
  }
  if (rest.size() > 6 && IsDigit(rest[6])) return std::nullopt;
  const int64_t hour = hour_digits == 1 ? text[0] - '0' : (text[0] - '0') * 10 + (text[1] - '0');
  const int64_t minute = (rest[1] - '0') * 10 + (rest[2] - '0');
  const int64_t second = (rest[4] - '0') * 10 + (rest[5] - '0');
  if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
  if (used != nullptr) *used = hour_digits + 6;
  return hour * 3600 + minute * 60 + second;
}

std::optional<HeaderDate> ParseHeaderDate(std::string_view text) {
  // "=== Verbose logging started: 12/1/2026  10:15:00  Build type: ..." in
  // any language: the first three numbers after "=== " are the date, as the
  // locale writes it, the clock follows.
  HeaderDate date;
  std::size_t at = 4;
  while (at < text.size() && at < 80 && !IsDigit(text[at])) ++at;
  for (int i = 0; i < 3; ++i) {
    std::size_t used = 0;
    const auto part = ParseDecimal(text.substr(std::min(at, text.size())), &used);
    if (!part || used > 4) return std::nullopt;
    date.parts[i] = *part;
    date.widths[i] = used;
    at += used;
    if (i < 2) {
      // "12/1/2026", "01.12.2026", "2026-12-01", "2026. 12. 1.": one mark, maybe a blank.
      if (at >= text.size() || IsDigit(text[at])) return std::nullopt;
      date.separator = text[at++];
      if (at < text.size() && text[at] == ' ') ++at;
    }
  }
  // The clock: the next digits, past blanks and any word for morning or evening.
  for (std::size_t skipped = 0; at < text.size() && skipped < 24 && !IsDigit(text[at]); ++skipped) {
    ++at;
  }
  date.clock = ParseDayClock(text.substr(std::min(at, text.size())));
  return date;
}

MsiLine ParseMsiLine(std::string_view text) {
  MsiLine line;
  if (text.empty()) return line;
  // The first byte picks the few shapes a line can have; most lines of a
  // verbose log are engine lines.
  switch (text[0]) {
    case 'M':
      if (StartsWith(text, "MSI (")) {
        line.engine = true;
        line.server = StartsWith(text, "MSI (s)");
        std::string_view clock;
        EngineLine(EnginePayload(text, clock), line);
        if (line.kind == MsiLineKind::EngineReturn || line.kind == MsiLineKind::Status) {
          line.clock = ParseDayClock(clock);
        }
        return line;
      }
      break;
    case '=':
      if (StartsWith(text, "=== ")) {
        line.kind = MsiLineKind::Header;
        line.value = text;
      }
      return line;
    case 'P':
      if (StartsWith(text, "Property(")) {
        // "Property(S): Name = Value"; the side is one letter but in odd logs.
        const std::size_t colon =
            text.size() >= 13 && text.substr(10, 3) == "): " ? 10 : text.find("): ");
        if (colon == std::string_view::npos || colon > 12) return line;
        const std::string_view assignment = text.substr(colon + 3);
        const std::size_t equals = assignment.find(" = ");
        if (equals == std::string_view::npos) return line;
        line.kind = MsiLineKind::Property;
        line.origin = text.size() > 9 ? text[9] : 0;
        line.name = assignment.substr(0, equals);
        line.value = Trim(assignment.substr(equals + 3));
        return line;
      }
      break;
    case 'C':
      if (StartsWith(text, "CustomAction ")) {
        const std::string_view rest = text.substr(13);
        const std::size_t at = rest.find(" returned actual error code ");
        if (at == std::string_view::npos) return line;
        line.kind = MsiLineKind::CustomAction;
        line.name = rest.substr(0, at);
        line.number = ParseDecimal(rest.substr(at + 28));
        return line;
      }
      break;
    case 'R':
      if (StartsWith(text, "Rollback: ") || text == "Rollback") {
        line.kind = MsiLineKind::Rollback;
        return line;
      }
      break;
    case 'E':
      if (StartsWith(text, "Error ") && text.size() > 6 && IsDigit(text[6])) {
        line.kind = MsiLineKind::ErrorMessage;
        line.number = ParseDecimal(text.substr(6));
        return line;
      }
      break;
    case 'I':
      if (StartsWith(text, "Info 1903.")) {
        line.kind = MsiLineKind::Info1903;
        return line;
      }
      break;
    case 'D':
      // Internal debug errors (2xxx) are mostly harmless noise.
      if (StartsWith(text, "DEBUG: ")) return line;
      break;
    default:
      break;
  }
  const char first = text[0];
  if (first == ' ' || first == '\t' || IsDigit(first)) return line;
  if (ActionLine(text, line)) return line;
  // Custom actions write their own lines, named by the action; WiX's write
  // "Name:  Error 0x...".
  if ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) {
    const std::size_t at = text.find("Error 0x");
    if (at != std::string_view::npos) {
      if (auto hresult = ParseHex(text.substr(at + 6))) {
        line.kind = MsiLineKind::Hresult;
        line.number = UnwrapHresult(*hresult);
      }
    }
  }
  return line;
}

}  // namespace triage
