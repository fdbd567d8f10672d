#include "summary.h"

#include "outcome.h"
#include "rules/knowledge.h"
#include "rules/text.h"

namespace triage {
namespace {

// The catalogue's name of an operation: "install", "remove", ...
std::string OperationKey(Operation operation) {
  switch (operation) {
    case Operation::Remove:
      return "remove";
    case Operation::Repair:
      return "repair";
    case Operation::Modify:
      return "modify";
    default:
      return "install";
  }
}

std::string Verb(Operation operation) { return Say("summary.verb." + OperationKey(operation)); }
std::string PastVerb(Operation operation) { return Say("summary.done." + OperationKey(operation)); }

std::string Named(const Attempt& attempt) {
  std::string name = attempt.product.empty() ? Say("summary.unnamed") : attempt.product;
  Append(name, attempt.version);
  return name;
}

bool SameProduct(const Attempt& a, const std::string& product) {
  return product.empty() || a.product.empty() || EqualsNoCase(a.product, product);
}

std::string Versions(const std::vector<std::string>& versions) {
  std::string text = versions[0];
  for (std::size_t i = 1; i + 1 < versions.size(); ++i) text += ", " + versions[i];
  if (versions.size() > 1)
    text = Say("summary.list.and", {{"first", text}, {"last", versions.back()}});
  return text;
}

// What is installed now of the newest attempt's product: as the
// applications list says, else as the attempts left it. Nothing when
// neither tells.
std::optional<std::string> InstalledNow(const SummaryFacts& facts) {
  const std::string& product = facts.newest->product;
  if (facts.listed) {
    std::vector<std::string> versions;
    for (const Product& listed : *facts.listed) {
      if (product.empty() || EqualsNoCase(listed.name, product)) versions.push_back(listed.version);
    }
    if (versions.empty()) return Say("summary.none-installed");
    return Say(versions.size() == 1 ? "summary.installed" : "summary.installed.many",
               {{"versions", Versions(versions)}});
  }
  std::optional<std::string> version;
  for (const Attempt* attempt : facts.attempts) {
    if (attempt->outcome != Result::Succeeded || !SameProduct(*attempt, product)) continue;
    if (attempt->operation == Operation::Remove) {
      version.reset();
    } else if (!attempt->version.empty()) {
      version = attempt->version;
    }
  }
  if (!version) return std::nullopt;
  return Say("summary.installed", {{"versions", *version}});
}

// The failed operation of the Velmora section by its code's meaning.
std::string DriverFailure(const Finding& failure, bool first) {
  std::string text = Say(first ? "summary.driver.first" : "summary.driver");
  if (failure.code) {
    const Explanation explained = Explain(CodeKind::SetupApi, *failure.code, {});
    if (explained.known)
      Append(text, Say("summary.driver.meaning", {{"meaning", explained.meaning}}));
    Append(text, Say("summary.driver.code", {{"code", CodeText(*failure.code)}}));
  }
  Append(text, WhenText(failure.time));
  return text;
}

// The deciding finding's cause, else its code.
std::string CauseOf(const Finding* deciding) {
  if (deciding == nullptr) return "";
  if (!deciding->cause.empty()) return Say("summary.cause", {{"cause", deciding->cause}});
  if (deciding->code) return Say("summary.code", {{"code", CodeText(*deciding->code)}});
  return "";
}

}  // namespace

std::string WhenText(const std::optional<int64_t>& time) {
  if (!time) return "";
  const std::string iso = IsoTime(*time);
  return Say("when", {{"date", iso.substr(0, 10)}, {"time", iso.substr(11, 5)}});
}

std::string Summarise(const SummaryFacts& facts) {
  if (facts.newest == nullptr) {
    if (facts.driver_failure != nullptr) {
      std::string text = DriverFailure(*facts.driver_failure, true);
      Append(text, Say("summary.driver.only"));
      return text;
    }
    return Say("summary.nothing");
  }
  const Attempt& newest = *facts.newest;
  const Facts named{{"product", Named(newest)},
                    {"verb", Verb(newest.operation)},
                    {"done", PastVerb(newest.operation)},
                    {"where", newest.where}};
  std::string text;
  switch (newest.outcome) {
    case Result::Failed:
      text = Say("summary.failed", named);
      Append(text, WhenText(newest.time));
      if (!newest.where.empty()) Append(text, Say("summary.in", named));
      Append(text, CauseOf(facts.deciding));
      if (newest.rolled_back) Append(text, Say("summary.rolled-back"));
      break;
    case Result::Cancelled:
      text = Say("summary.cancelled", named);
      Append(text, WhenText(newest.time));
      if (!newest.where.empty()) Append(text, Say("summary.cancelled.at", named));
      break;
    case Result::Succeeded:
      text = Say("summary.succeeded", named);
      Append(text, WhenText(newest.time));
      if (newest.restart) Append(text, Say("summary.restart"));
      if (facts.driver_failure != nullptr) {
        Append(text, Say("summary.but", {{"driver", DriverFailure(*facts.driver_failure, false)}}));
      }
      break;
    case Result::Unknown:
      text = Say("summary.unknown", named);
      Append(text, WhenText(newest.time));
      Append(text, Say("summary.unknown.end"));
      if (facts.driver_failure != nullptr) {
        Append(text, Say("summary.unknown.driver",
                         {{"driver", DriverFailure(*facts.driver_failure, false)}}));
      }
      break;
  }
  const bool installed_just_now =
      newest.outcome == Result::Succeeded && newest.operation != Operation::Remove && !facts.listed;
  if (!installed_just_now) {
    if (auto installed = InstalledNow(facts)) Append(text, *installed);
  }
  return text + ".";
}

}  // namespace triage
