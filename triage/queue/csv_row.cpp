#include "csv_row.h"

#include <iterator>

namespace triage {

std::string CsvField(const std::string& text) {
  std::string cell = text;
  if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@' ||
                        cell[0] == '\t' || cell[0] == '\r')) {
    cell.insert(0, 1, '\'');
  }
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvHeader() {
  return "ticket,verdict,product,version,windows,windows_version,rule,code,action_or_section\r\n";
}

std::string CsvRow(const TicketFacts& ticket) {
  const std::string fields[] = {
      ticket.name,    ticket.verdict,
      ticket.product, ticket.version,
      ticket.windows, ticket.windows_version,
      ticket.rule,    ticket.code ? CodeText(*ticket.code) : std::string(),
      ticket.where};
  std::string row;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i > 0) row += ',';
    row += CsvField(fields[i]);
  }
  return row + "\r\n";
}

}  // namespace triage
