// Where --html may put its page: never onto PATH, nor anywhere inside it,
// however the two are named.
#pragma once

#include <filesystem>
#include <string>

namespace triage {

// "" when `page` may be written; otherwise why not ("it is the input
// itself", "it lies inside the input folder"). Names are compared by what
// they lead to, so that a link (PATH itself may be one) or ".." cannot hide
// PATH; a link at the page's own name is not followed, as the page replaces
// it rather than writing through it.
std::string PageRefusal(const std::filesystem::path& input, const std::filesystem::path& page);

}  // namespace triage
