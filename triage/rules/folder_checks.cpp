// Checks over the whole collected folder, once every file is read: the files
// a collection should hold, and failures of different logs close in time.
#include <cstdlib>

#include "finding.h"
#include "readers.h"
#include "text.h"

namespace triage {
namespace {

// Installer and device-setup failures this close are very likely one event
// (the installer installs the driver).
constexpr int64_t kLinkSeconds = 10 * 60;

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Case-insensitive "prefix*suffix", the way the collector picks its logs.
bool Matches(std::string_view name, std::string_view prefix, std::string_view suffix) {
  return name.size() >= prefix.size() + suffix.size() &&
         EqualsNoCase(name.substr(0, prefix.size()), prefix) &&
         EqualsNoCase(name.substr(name.size() - suffix.size()), suffix);
}

bool IsInstallerFailure(const Finding& finding) {
  return finding.severity == Severity::Error &&
         (StartsWith(finding.rule, "msi.") || StartsWith(finding.rule, "burn."));
}

bool IsSetupFailure(const Finding& finding) {
  return finding.severity == Severity::Error && StartsWith(finding.rule, "setupapi.");
}

std::string Where(const Finding& finding) {
  return finding.file + ":" + std::to_string(finding.line);
}

}  // namespace

void AddMissingFileFindings(const std::vector<std::string>& present, Report& report) {
  bool installer_log = false, apps = false, system = false, setup_log = false;
  for (const std::string& path : present) {
    const std::string_view name = BaseName(path);
    installer_log = installer_log || Matches(name, "Velmora_Drivers_", ".log") ||
                    Matches(name, "vl_", "msi_rollback.log");
    apps = apps || EqualsNoCase(name, "installedapps.txt");
    system = system || EqualsNoCase(name, "sysinfo.nfo");
    setup_log =
        setup_log || EqualsNoCase(name, "setupapi.dev.log") || EqualsNoCase(name, "setupapi.log");
  }
  const auto add = [&](const char* rule, const char* message, const char* remedy) {
    Finding finding = MakeFinding(rule, Severity::Info, "", 0);
    finding.message = message;
    finding.remedy = remedy;
    report.findings.push_back(std::move(finding));
  };
  if (!installer_log) {
    add("folder.no-installer-log",
        "No installer log was collected: the product was installed without logging, or the "
        "temporary folder was cleaned since.",
        "Install again with logging (msiexec /i package.msi /l*v Velmora_Drivers_install.log, or "
        "the bundle's /log option) and collect again.");
  }
  if (!apps) {
    add("folder.no-installed-apps",
        "No installed-applications list was collected: WMIC is absent (as on Windows 11 24H2 and "
        "later) or did not finish.",
        "Check Apps and Features by hand for Velmora products and their versions.");
  }
  if (!system) {
    add("folder.no-system-info",
        "No system-information report was collected: msinfo32 did not finish (it can take "
        "minutes) or was stopped.",
        "Note the Windows version and edition by hand (winver), or run \"msinfo32 /nfo "
        "sysinfo.nfo\".");
  }
  if (!setup_log) {
    add("folder.no-setup-log",
        "No device-setup log was collected: the Windows INF folder's log could not be read or "
        "does not exist.",
        "Copy %WINDIR%\\INF\\setupapi.dev.log (setupapi.log on Windows XP) by hand as an "
        "administrator.");
  }
}

void LinkFailures(Report& report) {
  std::vector<Finding>& findings = report.findings;
  // Each failure is linked to the nearest failure of the other kind.
  std::vector<std::string> notes(findings.size());
  for (size_t i = 0; i < findings.size(); ++i) {
    const Finding& failure = findings[i];
    if (!failure.time) continue;
    const bool installer = IsInstallerFailure(failure);
    if (!installer && !IsSetupFailure(failure)) continue;
    const Finding* nearest = nullptr;
    int64_t nearest_gap = 0;
    for (const Finding& other : findings) {
      if (!other.time || !(installer ? IsSetupFailure(other) : IsInstallerFailure(other))) continue;
      const int64_t gap = std::llabs(*other.time - *failure.time);
      if (gap > kLinkSeconds || (nearest != nullptr && gap >= nearest_gap)) continue;
      nearest = &other;
      nearest_gap = gap;
    }
    if (nearest == nullptr) continue;
    notes[i] =
        std::string(installer ? " The device-setup failure at " : " The installer failure at ") +
        Where(*nearest) + " happened " + Counted(nearest_gap, "second") +
        " apart: they are likely the same problem.";
  }
  for (size_t i = 0; i < findings.size(); ++i) findings[i].message += notes[i];
}

}  // namespace triage
