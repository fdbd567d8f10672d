#include "summary.h"

#include "outcome.h"
#include "rules/knowledge.h"
#include "rules/text.h"

namespace triage {
namespace {

std::string Verb(Operation operation) {
  switch (operation) {
    case Operation::Remove:
      return "uninstall";
    case Operation::Repair:
      return "repair";
    case Operation::Modify:
      return "change";
    default:
      return "install";
  }
}

std::string PastVerb(Operation operation) {
  switch (operation) {
    case Operation::Remove:
      return "uninstalled";
    case Operation::Repair:
      return "repaired";
    case Operation::Modify:
      return "changed";
    default:
      return "installed";
  }
}

std::string Named(const Attempt& attempt) {
  std::string name = attempt.product.empty() ? "The package" : attempt.product;
  if (!attempt.version.empty()) name += " " + attempt.version;
  return name;
}

bool SameProduct(const Attempt& a, const std::string& product) {
  return product.empty() || a.product.empty() || EqualsNoCase(a.product, product);
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
    if (versions.empty()) return std::string("no version of it is installed");
    std::string text = versions[0];
    for (std::size_t i = 1; i < versions.size(); ++i) {
      text += (i + 1 == versions.size() ? " and " : ", ") + versions[i];
    }
    return text + (versions.size() == 1 ? " is installed" : " are installed");
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
  return *version + " is installed";
}

// The failed operation of the Velmora section by its code's meaning.
std::string DriverFailure(const Finding& failure) {
  std::string text = "the Velmora driver failed to install";
  if (failure.code) {
    const Explanation explained = Explain(CodeKind::SetupApi, *failure.code, {});
    if (explained.known) text += ": " + explained.meaning;
    text += " (" + CodeText(*failure.code) + ")";
  }
  return text + WhenText(failure.time);
}

}  // namespace

std::string WhenText(const std::optional<int64_t>& time) {
  if (!time) return "";
  const std::string iso = IsoTime(*time);
  return " on " + iso.substr(0, 10) + " at " + iso.substr(11, 5);
}

std::string Summarise(const SummaryFacts& facts) {
  if (facts.newest == nullptr) {
    if (facts.driver_failure != nullptr) {
      std::string text = DriverFailure(*facts.driver_failure);
      text[0] = 'T';
      return text + "; no installer log says how the package's installation went.";
    }
    return "No installer log says how an installation went.";
  }
  const Attempt& newest = *facts.newest;
  std::string text = Named(newest);
  switch (newest.outcome) {
    case Result::Failed:
      text += " failed to " + Verb(newest.operation) + WhenText(newest.time);
      if (!newest.where.empty()) text += " in " + newest.where;
      if (!newest.reason.empty()) {
        text += ": " + newest.reason;
      } else if (newest.cause || newest.code) {
        text += " with error " + CodeText(*(newest.cause ? newest.cause : newest.code));
      }
      if (newest.rolled_back) text += " and was rolled back";
      break;
    case Result::Cancelled:
      text += ": the user cancelled the attempt to " + Verb(newest.operation) + " it" +
              WhenText(newest.time);
      if (!newest.where.empty()) text += " at " + newest.where;
      break;
    case Result::Succeeded:
      text += " was " + PastVerb(newest.operation) + WhenText(newest.time);
      if (newest.restart) text += "; it is complete only after a restart";
      if (facts.driver_failure != nullptr) text += ", but " + DriverFailure(*facts.driver_failure);
      break;
    case Result::Unknown:
      text += ": the attempt to " + Verb(newest.operation) + " it" + WhenText(newest.time) +
              " does not say how it ended";
      if (facts.driver_failure != nullptr) text += "; " + DriverFailure(*facts.driver_failure);
      break;
  }
  const bool installed_just_now =
      newest.outcome == Result::Succeeded && newest.operation != Operation::Remove && !facts.listed;
  if (!installed_just_now) {
    if (auto installed = InstalledNow(facts)) text += "; " + *installed;
  }
  return text + ".";
}

}  // namespace triage
