#include <nlohmann/json.hpp>

#include "outcome.h"

namespace triage {

std::string JsonReport(const Outcome& outcome) {
  using Json = nlohmann::ordered_json;
  const Report& report = outcome.report;
  Json out;
  out["verdict"] = VerdictName(outcome.verdict);
  out["product"] = report.product
                       ? Json{{"name", report.product->name}, {"version", report.product->version}}
                       : Json(nullptr);
  if (report.system) {
    out["system"] = Json{{"os_name", report.system->os_name},
                         {"os_version", report.system->os_version},
                         {"system_type", report.system->system_type},
                         {"model", report.system->model}};
  } else {
    out["system"] = nullptr;
  }
  Json findings = Json::array();
  for (const auto& finding : report.findings) {
    findings.push_back(Json{
        {"rule", finding.rule},
        {"severity", SeverityName(finding.severity)},
        {"file", finding.file},
        {"line", finding.line > 0 ? Json(finding.line) : Json(nullptr)},
        {"code", finding.code ? Json(*finding.code) : Json(nullptr)},
        {"message", finding.message},
        {"remedy", finding.remedy},
    });
  }
  out["findings"] = std::move(findings);
  // Text cut by a reader in the middle of a character still gives valid
  // JSON. Everything beyond ASCII is written as \u escapes: the data stays
  // whole for the tools that read it, and nothing from the input reaches a
  // terminal raw.
  return out.dump(2, ' ', true, Json::error_handler_t::replace) + "\n";
}

}  // namespace triage
