// A queue's spreadsheet: one row a ticket, RFC 4180 (fields quoted where
// they hold a comma, a quote or a line end; CRLF line ends).
#pragma once

#include <string>

#include "overview.h"

namespace triage {

std::string CsvHeader();
std::string CsvRow(const TicketFacts& ticket);
// One field as it is written: a cell a spreadsheet would run as a formula
// (one starting with '=', '+', '-', '@', a tab or a carriage return) is
// made inert by a leading apostrophe, then quoted as RFC 4180 asks.
std::string CsvField(const std::string& text);

}  // namespace triage
