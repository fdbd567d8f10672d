#include "html_page.h"

#include "outcome.h"

namespace triage {
namespace {

// Only inline styles: no script, no outside resource of any kind.
constexpr const char* kPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src 'none'; base-uri 'none'; "
    "form-action 'none'";

}  // namespace

std::string PageHead(const std::string& title, const char* style) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
         std::string(kPolicy) +
         "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         HtmlEscape(title) + "</title>\n<style>" + style + "</style>\n</head>\n<body>\n<main>\n";
}

std::string PageTail() { return "</main>\n</body>\n</html>\n"; }

std::string MessagePage(const std::string& title, const std::string& text) {
  return PageHead(title, "body { font: 15px/1.45 system-ui, sans-serif; margin: 24px; }") + "<h1>" +
         HtmlEscape(title) + "</h1>\n<pre>" + HtmlEscape(text) + "</pre>\n" + PageTail();
}

}  // namespace triage
