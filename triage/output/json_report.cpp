#include <nlohmann/json.hpp>

#include "outcome.h"
#include "platform/shown_text.h"
#include "platform/text/hex.h"

namespace triage {

using velmora::terminal::CharKind;
using velmora::terminal::FirstChar;
using velmora::terminal::ShownChar;

namespace {

using Json = nlohmann::ordered_json;

Json JsonObject(const Outcome& outcome) {
  const auto number_or_null = [](auto value, bool present) {
    return present ? Json(value) : Json(nullptr);
  };
  Json out;
  out["verdict"] = VerdictName(outcome.verdict);
  out["summary"] = outcome.summary;
  out["product"] =
      outcome.product ? Json{{"name", outcome.product->name}, {"version", outcome.product->version}}
                      : Json(nullptr);
  if (outcome.system) {
    out["system"] = Json{{"os_name", outcome.system->os_name},
                         {"os_version", outcome.system->os_version},
                         {"system_type", outcome.system->system_type},
                         {"model", outcome.system->model}};
  } else {
    out["system"] = nullptr;
  }
  Json attempts = Json::array();
  for (const Attempt& attempt : outcome.attempts) {
    attempts.push_back(Json{
        {"time", attempt.time ? Json(IsoTime(*attempt.time)) : Json(nullptr)},
        {"file", attempt.file},
        {"line", number_or_null(attempt.line, attempt.line > 0)},
        {"product", attempt.product},
        {"version", attempt.version},
        {"operation", OperationName(attempt.operation)},
        {"outcome", ResultName(attempt.outcome)},
        {"code", number_or_null(attempt.code.value_or(0), attempt.code.has_value())},
    });
  }
  out["attempts"] = std::move(attempts);
  Json findings = Json::array();
  for (const Finding& finding : outcome.findings) {
    findings.push_back(Json{
        {"rule", finding.rule},
        {"severity", SeverityName(finding.severity)},
        {"file", finding.file},
        {"line", number_or_null(finding.line, finding.line > 0)},
        {"code", number_or_null(finding.code.value_or(0), finding.code.has_value())},
        {"message", finding.message},
        {"remedy", finding.remedy},
    });
  }
  out["findings"] = std::move(findings);
  return out;
}

// Text cut by a reader in the middle of a character still gives valid
// JSON. Everything beyond ASCII is written as \u escapes: the data stays
// whole for the tools that read it, and nothing from the input reaches a
// terminal raw.
std::string Dump(const Json& json, int indent) {
  return json.dump(indent, ' ', true, Json::error_handler_t::replace) + "\n";
}

// A ticket's name, whole: when it is not UTF-8 (a name from a file system
// that keeps bytes), its bytes in hex beside the shown form, so that two
// names never become one.
Json TicketFields(std::string_view ticket) {
  Json line;
  line["ticket"] = ticket;
  bool utf8 = true;
  for (std::size_t i = 0; i < ticket.size() && utf8;) {
    const ShownChar c = FirstChar(ticket.substr(i));
    utf8 = c.kind != CharKind::Invalid;
    i += c.size;
  }
  if (!utf8) {
    line["ticket_bytes"] = velmora::text::HexBytes(ticket, velmora::text::HexCase::Lower);
  }
  return line;
}

}  // namespace

std::string JsonReport(const Outcome& outcome) { return Dump(JsonObject(outcome), 2); }

std::string JsonLine(const Outcome& outcome, std::string_view ticket) {
  Json line = TicketFields(ticket);
  Json whole = JsonObject(outcome);
  for (auto& item : whole.items()) line[item.key()] = std::move(item.value());
  return Dump(line, -1);
}

std::string UnreadableJsonLine(std::string_view ticket, std::string_view reason) {
  Json line = TicketFields(ticket);
  line["verdict"] = "unreadable";
  line["reason"] = reason;
  return Dump(line, -1);
}

}  // namespace triage
