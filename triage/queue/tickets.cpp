#include "tickets.h"

#include <algorithm>

#include "platform/folder_list.h"
#include "rules/text.h"

namespace triage {

bool ListTickets(const std::filesystem::path& folder, std::vector<Ticket>& tickets,
                 std::string& error) {
  std::vector<velmora::files::FolderEntry> entries;
  if (!velmora::files::ListFolder(folder, entries, error)) return false;
  tickets.clear();
  for (velmora::files::FolderEntry& entry : entries) {
    using velmora::files::EntryType;
    const bool zip = entry.type == EntryType::File && EndsWith(entry.name, ".zip");
    const bool zip_by_case =
        entry.type == EntryType::File && entry.name.size() > 4 &&
        EqualsNoCase(std::string_view(entry.name).substr(entry.name.size() - 4), ".zip");
    if (entry.type == EntryType::Folder || zip || zip_by_case) {
      tickets.push_back({std::move(entry.name), std::move(entry.path), ""});
    } else if (entry.type == EntryType::Link) {
      tickets.push_back({std::move(entry.name), std::move(entry.path),
                         "it is a link, and links are never followed"});
    }
  }
  std::sort(tickets.begin(), tickets.end(),
            [](const Ticket& a, const Ticket& b) { return a.name < b.name; });
  return true;
}

}  // namespace triage
