// The tickets of a support queue: every zip and every folder directly
// inside the queue's folder, each named by its own name, in name order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace triage {

struct Ticket {
  std::string name;  // as listed, UTF-8 where the system gives it so
  std::filesystem::path path;
  // Why it cannot be read before anything is read ("" when it can be):
  // a link inside the queue's folder is never followed.
  std::string refusal;
};

// False, with `error` saying why, when the folder cannot be listed.
bool ListTickets(const std::filesystem::path& folder, std::vector<Ticket>& tickets,
                 std::string& error);

}  // namespace triage
