// The three outputs: the JSON shape support tools rely on, HTML that no log
// text can break out of, a console that no log text can drive; and the
// verdict with the command line behind them.
#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "options.h"
#include "outcome.h"
#include "platform/shown_text.h"
#include "platform/terminal.h"
#include "queue/overview.h"

namespace triage {
namespace {

using velmora::terminal::CharKind;
using velmora::terminal::FirstChar;
using velmora::terminal::ShownChar;

Finding Make(const char* rule, Severity severity, uint64_t line, std::optional<int64_t> code,
             std::string message) {
  Finding finding;
  finding.rule = rule;
  finding.severity = severity;
  finding.file = "MSI1.log";
  finding.line = line;
  finding.code = code;
  finding.message = std::move(message);
  finding.remedy = "Do this.";
  return finding;
}

Outcome Sample() {
  Outcome outcome;
  outcome.source = "case 42.zip";
  outcome.verdict = Verdict::Failed;
  outcome.summary = "Velmora Drivers 2.4.1 failed to install on 2026-12-01 at 10:15.";
  outcome.findings = {
      Make("msi.failed-action", Severity::Error, 120, 1603, "<script>alert('x')</script> & \"q\""),
      Make("device", Severity::Warning, 7, -536870397, "driver warning"),
      Make("missing", Severity::Info, 0, std::nullopt, "no sysinfo"),
  };
  outcome.findings[0].context = {{119, "Note: 1: 1708"},
                                 {120, "<script>document.title='ran'</script>"}};
  Attempt attempt;
  attempt.time = 1795860900;  // 2026-11-28T10:15:00
  attempt.file = "MSI1.log";
  attempt.line = 120;
  attempt.product = "Velmora Drivers";
  attempt.version = "2.4.1";
  attempt.operation = Operation::Install;
  attempt.outcome = Result::Failed;
  attempt.code = 1603;
  outcome.attempts = {attempt, attempt};
  outcome.attempts[0].time.reset();
  outcome.attempts[0].outcome = Result::Cancelled;
  outcome.attempts[0].code.reset();
  outcome.attempts[0].line = 0;
  return outcome;
}

TEST(Outputs, JsonHasExactlyTheAgreedShape) {
  Outcome outcome = Sample();
  auto json = nlohmann::ordered_json::parse(JsonReport(outcome));
  std::vector<std::string> top;
  for (const auto& item : json.items()) top.push_back(item.key());
  EXPECT_EQ(top, (std::vector<std::string>{"verdict", "summary", "product", "system", "attempts",
                                           "findings"}));
  EXPECT_EQ(json["verdict"], "failed");
  EXPECT_EQ(json["summary"], outcome.summary);
  EXPECT_EQ(json["attempts"][1], (nlohmann::ordered_json{{"time", "2026-11-28T10:15:00"},
                                                         {"file", "MSI1.log"},
                                                         {"line", 120},
                                                         {"product", "Velmora Drivers"},
                                                         {"version", "2.4.1"},
                                                         {"operation", "install"},
                                                         {"outcome", "failed"},
                                                         {"code", 1603}}));
  EXPECT_TRUE(json["attempts"][0]["time"].is_null());
  EXPECT_TRUE(json["attempts"][0]["line"].is_null());
  EXPECT_TRUE(json["attempts"][0]["code"].is_null());
  EXPECT_EQ(json["attempts"][0]["outcome"], "cancelled");
  EXPECT_TRUE(json["product"].is_null());
  EXPECT_TRUE(json["system"].is_null());
  ASSERT_EQ(json["findings"].size(), 3u);
  const auto& first = json["findings"][0];
  std::vector<std::string> keys;
  for (const auto& item : first.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"rule", "severity", "file", "line", "code", "message",
                                            "remedy"}));
  EXPECT_EQ(first["rule"], "msi.failed-action");
  EXPECT_EQ(first["severity"], "error");
  EXPECT_EQ(first["line"], 120);
  EXPECT_EQ(first["code"], 1603);
  EXPECT_EQ(json["findings"][1]["code"], -536870397);
  EXPECT_TRUE(json["findings"][2]["code"].is_null());
  EXPECT_TRUE(json["findings"][2]["line"].is_null());

  outcome.product = Product{"Velmora Drivers", "2.4.1"};
  outcome.system =
      SystemSummary{"Microsoft Windows 10 Pro", "10.0.19045", "x64-based PC", "Virtual"};
  // A reader may cut text inside a character: the JSON stays valid.
  outcome.findings[0].message = "cut \xE2\x82";
  json = nlohmann::ordered_json::parse(JsonReport(outcome));
  EXPECT_EQ(json["product"],
            (nlohmann::ordered_json{{"name", "Velmora Drivers"}, {"version", "2.4.1"}}));
  EXPECT_EQ(json["system"]["os_version"], "10.0.19045");
  EXPECT_EQ(json["system"]["model"], "Virtual");
  EXPECT_EQ(json["findings"][0]["message"], "cut \xEF\xBF\xBD");
}

TEST(Outputs, HtmlEscapesEveryLogTextAndForbidsScripts) {
  Outcome outcome = Sample();
  outcome.source = "<b>name</b>.zip";
  outcome.product = Product{"Velmora <img src=x>", "1\"2"};
  std::string page = HtmlReport(outcome);
  EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none';"),
            std::string::npos);
  std::string lower = page;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(lower.find("<script"), std::string::npos);
  EXPECT_EQ(lower.find("<img"), std::string::npos);
  EXPECT_EQ(lower.find("<b>"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;document.title=&#39;ran&#39;&lt;/script&gt;"),
            std::string::npos);
  EXPECT_NE(page.find("&amp; &quot;q&quot;"), std::string::npos);
  // The evidence line is marked among its context; the verdict comes first,
  // then the summary and the attempts.
  EXPECT_NE(page.find("<span class=\"evidence\"><span class=\"number\">120</span>"),
            std::string::npos);
  EXPECT_LT(page.find("id=\"verdict\""), page.find("id=\"summary\""));
  EXPECT_LT(page.find("id=\"summary\""), page.find("id=\"attempts\""));
  EXPECT_LT(page.find("id=\"attempts\""), page.find("class=\"finding"));
  EXPECT_EQ(HtmlEscape(std::string("a\0b", 3)),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Outputs, ConsoleVerdictFirstFindingsBySeverityColoursOnlyWhenAsked) {
  Outcome outcome = Sample();
  outcome.findings[1].message =
      "escape \x1b]0;title\x07 and C1 \xC2\x9B"
      "2J";
  std::vector<velmora::terminal::Painted> paints;
  std::string plain = velmora::terminal::Shown(ConsoleReport(outcome, &paints), paints, false);
  EXPECT_EQ(plain.rfind("Verdict: FAILED", 0), 0u) << plain;
  EXPECT_NE(plain.find("\nSummary: " + outcome.summary + "\n"), std::string::npos);
  EXPECT_NE(
      plain.find("  2026-11-28 10:15  install Velmora Drivers 2.4.1  failed (1603)  MSI1.log:120"),
      std::string::npos)
      << plain;
  EXPECT_LT(plain.find("ERROR   MSI1.log:120  [msi.failed-action, code 1603]"),
            plain.find("WARNING MSI1.log:7"));
  EXPECT_LT(plain.find("WARNING"), plain.find("INFO    MSI1.log  [missing]"));
  EXPECT_EQ(plain.find('\x1b'), std::string::npos);
  EXPECT_EQ(plain.find("\xC2\x9B"), std::string::npos);
  EXPECT_NE(plain.find("escape ?]0;title? and C1 ?2J"), std::string::npos);
  EXPECT_NE(plain.find("[device, code 0xE0000203]"), std::string::npos) << plain;
  std::string coloured = velmora::terminal::Shown(ConsoleReport(outcome), paints, true);
  EXPECT_NE(coloured.find("\x1b[1;31mERROR  \x1b[0m"), std::string::npos);
}

// What reaches the terminal, whoever wrote it: line ends, and colours only
// as the terminal layer draws them; every other control, C1, byte that is
// not UTF-8 and reordering character is filtered there.
std::string Unsafe(const std::string& shown, bool colours) {
  std::string text = shown;
  if (colours) {
    for (const char* own : {"\x1b[1;31m", "\x1b[1;33m", "\x1b[1;32m", "\x1b[36m", "\x1b[0m"}) {
      for (std::size_t at; (at = text.find(own)) != std::string::npos;) text.erase(at, strlen(own));
    }
  }
  std::string unsafe;
  for (std::size_t i = 0; i < text.size();) {
    const ShownChar c = FirstChar(std::string_view(text).substr(i));
    if (c.kind != CharKind::Plain && text[i] != '\n') unsafe += text.substr(i, c.size);
    i += c.size;
  }
  return unsafe;
}

TEST(Outputs, NoFieldReachesTheTerminalRaw) {
  const std::string bad =
      "\x1b]0;t\x07\xC2\x9B"
      "2J\x1b[31m\xFF\r\t\xE2\x80\xAE";
  Outcome outcome = Sample();
  outcome.source += bad;
  outcome.summary += bad;
  outcome.product = Product{bad, bad};
  outcome.system = SystemSummary{bad, bad, bad, bad};
  for (Attempt& attempt : outcome.attempts) {
    attempt.product += bad;
    attempt.version += bad;
    attempt.file += bad;
  }
  for (Finding& finding : outcome.findings) {
    for (std::string* field :
         {&finding.rule, &finding.file, &finding.message, &finding.remedy, &finding.where}) {
      *field += bad;
    }
  }
  Overview overview;
  for (const char* verdict : {"failed", "succeeded", "unreadable"}) {
    overview.Add(TicketFacts{bad, verdict, bad, bad, bad, bad, bad, 1603, bad, bad});
  }
  std::vector<velmora::terminal::Painted> paints;
  const std::string report = ConsoleReport(outcome, &paints);
  const std::vector<std::pair<std::string, std::vector<velmora::terminal::Painted>>> outputs = {
      {report, paints}, {overview.Table(), {}}, {bad, {}}};
  for (const auto& [text, marks] : outputs) {
    for (const bool colours : {false, true}) {
      const std::string shown = velmora::terminal::Shown(text, marks, colours);
      EXPECT_EQ(Unsafe(shown, colours), "") << shown;
    }
  }
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  EXPECT_EQ(Unsafe(velmora::terminal::Shown(every, {}, false), false), "");
}

// Every text from the input goes through one filter on its way to the
// console and to the page: nothing in it can drive the terminal, invalid
// UTF-8 never passes raw, and characters that reorder or break the line
// around them show as what they are.
TEST(Outputs, UntrustedTextIsShownHarmlessly) {
  const char* const kBad = "\xEF\xBF\xBD";  // U+FFFD on the page
  struct Case {
    std::string text, console, html;
  };
  const Case cases[] = {
      {"plain M\xC3\xBCller \xE7\x8E\x8B \xF0\x9F\x98\x80 & <b>",
       "plain M\xC3\xBCller \xE7\x8E\x8B \xF0\x9F\x98\x80 & <b>",
       "plain M\xC3\xBCller \xE7\x8E\x8B \xF0\x9F\x98\x80 &amp; &lt;b&gt;"},
      {"-\x1b]0;x\x07.log", "-?]0;x?.log", std::string("-") + kBad + "]0;x" + kBad + ".log"},
      {"tab\tdel\x7F", "tab?del?", std::string("tab\tdel") + kBad},
      {"C1 \xC2\x9B"
       "2J and \xC2\x85",
       "C1 ?2J and ?", std::string("C1 ") + kBad + "2J and " + kBad},
      {"raw \x9B"
       "2J",
       "raw ?2J", std::string("raw ") + kBad + "2J"},
      {"bad \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 cut \xE2\x82", "bad ?? ??? ???? cut ??",
       std::string("bad ") + kBad + kBad + " " + kBad + kBad + kBad + " " + kBad + kBad + kBad +
           kBad + " cut " + kBad + kBad},
      {"MSI\xE2\x80\xAEgol.exe", "MSI<U+202E>gol.exe", "MSI&lt;U+202E&gt;gol.exe"},
      {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2"
       "\x81\xA9",
       "<U+202A><U+202B><U+202C><U+202D><U+2066><U+2067><U+2068><U+2069>",
       "&lt;U+202A&gt;&lt;U+202B&gt;&lt;U+202C&gt;&lt;U+202D&gt;&lt;U+2066&gt;&lt;U+2067&gt;"
       "&lt;U+2068&gt;&lt;U+2069&gt;"},
      {"a\xE2\x80\x8E"
       "b\xE2\x80\x8F"
       "c\xD8\x9C"
       "d",
       "a<U+200E>b<U+200F>c<U+061C>d", "a&lt;U+200E&gt;b&lt;U+200F&gt;c&lt;U+061C&gt;d"},
      {"one\xE2\x80\xA8two\xE2\x80\xA9three", "one<U+2028>two<U+2029>three",
       "one&lt;U+2028&gt;two&lt;U+2029&gt;three"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(TerminalSafe(c.text), c.console);
    EXPECT_EQ(HtmlEscape(c.text), c.html);
  }
  // The console report and the page use it for every text they show.
  Outcome outcome = Sample();
  outcome.source = "case\xE2\x80\xAE.zip";
  outcome.findings[0].file = "MSI\x9B.log";
  outcome.findings[0].context = {{120, "said \xE2\x80\xA8 \x1b[2J"}};
  const std::string console = ConsoleReport(outcome);
  const std::string page = HtmlReport(outcome);
  for (const char* raw : {"\xE2\x80\xAE", "\x9B", "\x1b[2J", "\xE2\x80\xA8"}) {
    EXPECT_EQ(console.find(raw), std::string::npos) << ::testing::PrintToString(raw);
    EXPECT_EQ(page.find(raw), std::string::npos) << ::testing::PrintToString(raw);
  }
  EXPECT_NE(console.find("Read: case<U+202E>.zip"), std::string::npos) << console;
  EXPECT_NE(console.find("ERROR   MSI?.log:120"), std::string::npos) << console;
  EXPECT_NE(page.find("case&lt;U+202E&gt;.zip"), std::string::npos);
  EXPECT_NE(page.find("said &lt;U+2028&gt; "), std::string::npos);
}

TEST(Options, CommandLines) {
  Options options;
  std::string error;
  ASSERT_TRUE(ParseOptions({"case.zip", "--json", "--html", "out.html"}, options, error));
  EXPECT_EQ(options.path, "case.zip");
  EXPECT_TRUE(options.json);
  EXPECT_EQ(options.html.value_or(""), "out.html");
  ASSERT_TRUE(ParseOptions({"--html=page.html", "--", "--json"}, options, error));
  EXPECT_EQ(options.path, "--json");
  EXPECT_FALSE(options.json);
  EXPECT_EQ(options.html.value_or(""), "page.html");
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {}, {"a", "b"}, {"a", "--html"}, {"a", "--html="}, {"a", "--verbose"}}) {
    EXPECT_FALSE(ParseOptions(bad, options, error)) << bad.size();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace triage
