#include "page_place.h"

#include <optional>
#include <system_error>

#include "platform/output_file.h"

namespace triage {

namespace fs = std::filesystem;
using velmora::files::IdOf;
using velmora::files::ResolvedFolder;

std::string PageRefusal(const fs::path& input, const fs::path& page) {
  const auto target = IdOf(input, true);
  if (!target) {
    // No input at all: the run stops at reading it. One that is there but
    // cannot be looked at leaves no way to keep the page out of it.
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(input, ec))) return "";
    return "the input cannot be looked at to keep the page out of it";
  }
  const auto input_name = IdOf(input, false);
  if (const auto at_page = IdOf(page, false);
      at_page && (*at_page == *target || *at_page == input_name)) {
    return "it is the input itself";
  }
  // The folder the page would go into, or the nearest one above it that
  // exists, resolved; then each folder above that.
  std::error_code ec;
  fs::path folder = fs::absolute(page, ec).parent_path();
  if (ec) return "";
  std::optional<fs::path> resolved;
  while (!(resolved = ResolvedFolder(folder))) {
    fs::path up = folder.parent_path();
    if (up.empty() || up == folder) return "";
    folder = std::move(up);
  }
  for (fs::path at = *resolved;;) {
    if (IdOf(at, true) == target) return "it lies inside the input folder";
    fs::path up = at.parent_path();
    if (up.empty() || up == at) return "";
    at = std::move(up);
  }
}

}  // namespace triage
