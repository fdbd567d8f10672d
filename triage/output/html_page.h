// What every page velmora-triage writes begins and ends with: a policy that
// forbids scripts and anything loaded from elsewhere, its own styles inline.
#pragma once

#include <string>

namespace triage {

// Up to the opening of the page's main part; `title` is escaped here.
std::string PageHead(const std::string& title, const char* style);
std::string PageTail();

// A page of a few words, for when there is no report to show: `text` is
// shown as it is, escaped.
std::string MessagePage(const std::string& title, const std::string& text);

}  // namespace triage
