#include "catalogue.h"

#include <stdexcept>

#include "knowledge.h"

namespace triage {
namespace {

constexpr char kResend[] =
    "Ask the user to zip the collected folder again (\"Send to, Compressed (zipped) folder\") and "
    "send it once more.";
constexpr char kFindTheFailure[] =
    "Find the failure that caused it (the failing action above) and fix it.";
constexpr char kRestart[] = "Restart Windows before using the product or installing anything else.";
constexpr char kCollectAgain[] = "Collect again after the installation has ended.";
constexpr char kByHand[] = "Check Apps and Features on the machine by hand.";

const std::vector<Rule> kRules = {
    // The verdict's own rules.
    {"msi.failed-action", Severity::Error,
     "The first action of a Windows Installer log that ended with return value 3 (a fatal "
     "error; Wine's msiexec writes 0), with the error lines above it and the code of the custom "
     "action or error message that explains it.",
     "Read the error lines just above the evidence line; they name the file, service or custom "
     "action at fault."},
    {"msi.cancelled", Severity::Error,
     "The user left the installation: the first action or dialog that ended with return value 2; "
     "the installer returns 1602.",
     "Run the installation again and let it finish."},
    {"msi.internal-error", Severity::Error,
     "Windows Installer stopped on an internal error (2502, 2503, 27xx): the message that names "
     "its code, after the engine's note of it.",
     "Internal errors come from the package or from the rights on the temporary folder; see the "
     "code's meaning."},
    {"msi.outcome", Severity::Error,
     "How a Windows Installer log says the installation ended: its final status line, the "
     "engine's return value, or the root action's return value. An error when it failed, a note "
     "when it succeeded.",
     "Look at the failing action and the error lines just above it."},
    {"msi.conflicting-outcome", Severity::Warning,
     "A Windows Installer log whose outcome lines disagree (a status line saying success after an "
     "action's or the engine's failure): the worse one decides, never success.",
     "Read the log around both lines; ask for the original log when it looks pieced together."},
    {"msi.no-outcome", Severity::Info,
     "A Windows Installer log that never says how the installation ended (cut short, or still "
     "running when collected).",
     kCollectAgain},
    {"msi.error-message", Severity::Error,
     "The first error message of a Windows Installer log that no failing action explains (an "
     "error when the attempt failed, a warning when it went on and succeeded). The generic note "
     "1708 (\"installation failed\") is part of the outcome, never such an error.",
     "Read the error message; it names the file, service or setting at fault."},
    {"msi.restart-required", Severity::Warning,
     "The installation is complete only after a restart (result 3010 or 1641, files in use "
     "replaced, Info 1903).",
     kRestart},
    {"msi.restart-pending", Severity::Warning,
     "A restart was already pending when the installation ran (MsiSystemRebootPending).",
     "Restart Windows, then run the installation again if it failed."},
    {"msi.rollback", Severity::Warning,
     "The installer undid its changes after a failure, so the product is not (or no longer) "
     "installed.",
     kFindTheFailure},
    {"burn.package-failed", Severity::Error,
     "A package of a WiX bundle that failed (its apply result is not success).",
     "Open the package's own installer log (named in the bundle log) and look for its failing "
     "action."},
    {"burn.error", Severity::Error,
     "The first error a WiX bundle logged (an error when the bundle failed, a warning when it "
     "went on and succeeded).",
     "Open the package's own installer log (named in the bundle log) and look for its failing "
     "action."},
    {"burn.non-vital-package", Severity::Warning,
     "A package the bundle may do without failed; the bundle went on and may have succeeded.",
     "Install that package on its own, or ask whether the feature it brings is needed."},
    {"burn.outcome", Severity::Error,
     "How a WiX bundle log says the bundle ended (apply result, exit code). An error when it "
     "failed, a note when it succeeded.",
     "Open the package's own installer log (named in the bundle log) and look for its failing "
     "action."},
    {"burn.no-outcome", Severity::Info, "A WiX bundle log that never says how the bundle ended.",
     kCollectAgain},
    {"burn.restart-required", Severity::Warning,
     "A package of the bundle, or the bundle, needs a restart to complete.", kRestart},
    {"setupapi.section-failed", Severity::Error,
     "A device-setup section that failed (its first \"!!!\" line, else its exit status). An "
     "error for the Velmora driver when it failed during or after the newest installation "
     "attempt; a warning for other devices and for older attempts.",
     "Read the section's error lines; reinstall the driver package as an administrator."},
    {"setupapi.xp-error", Severity::Error,
     "A device-setup section of Windows XP's setupapi.log with \"#E\" error lines; weighed as a "
     "failed section is.",
     "Read the section's error lines; reinstall the driver package as an administrator."},
    {"setupapi.more-failures", Severity::Info,
     "More failed device-setup sections of other devices than are listed.",
     "Read the log itself for them."},
    {"history.earlier-failure", Severity::Warning,
     "An installation attempt older than the newest one failed or was cancelled: history, not "
     "the verdict.",
     "Nothing to do unless the newest attempt fails the same way."},
    // What the files say besides.
    {"apps.velmora-product", Severity::Info,
     "A Velmora product the installed-applications list names.", "Nothing to do."},
    {"apps.duplicate-drivers", Severity::Warning,
     "Two versions of Velmora Drivers installed at once: an upgrade left the old one behind.",
     "Uninstall both in Apps and Features, restart Windows, then install the current version "
     "once."},
    {"apps.no-velmora", Severity::Info, "The installed-applications list names no Velmora product.",
     "If the installation was reported done, it did not register; install again."},
    {"apps.unreadable", Severity::Info,
     "The installed-applications list holds a message of WMIC's instead of a table.", kByHand},
    {"apps.empty", Severity::Info, "The installed-applications list is empty.", kByHand},
    {"sysinfo.summary", Severity::Info,
     "The Windows version, system type and model from the system-information report, read by "
     "structure whatever its language.",
     "Nothing to do."},
    {"sysinfo.unreadable", Severity::Warning,
     "The system-information report cannot be read (cut short, not XML, no summary, nested too "
     "deeply).",
     "msinfo32 may have been stopped before it finished; run \"msinfo32 /nfo sysinfo.nfo\" on "
     "the machine again and send that file."},
    {"installer.unrecognised", Severity::Info,
     "A file named like an installer log in which no line looks like a Windows Installer or WiX "
     "bundle log.",
     "Check that the right file was collected (a verbose log, msiexec /l*v)."},
    // The folder as a whole.
    {"folder.no-installer-log", Severity::Info,
     "No installer log was collected: the product was installed without logging, or the "
     "temporary folder was cleaned since.",
     "Install again with logging (msiexec /i package.msi /l*v Velmora_Drivers_install.log, or the "
     "bundle's /log option) and collect again."},
    {"folder.no-installed-apps", Severity::Info,
     "No installed-applications list was collected: the collector could not read the registry's "
     "list of installed programs, or an older collector ran on a machine without WMIC (Windows "
     "11 25H2, 24H2 installed fresh, XP Home, Server Core), where it wrote none.",
     "Check Apps and Features by hand for Velmora products and their versions, or collect again "
     "with the current collector."},
    {"folder.no-system-info", Severity::Info,
     "No system-information report was collected: msinfo32 did not finish (it can take minutes) "
     "or was stopped.",
     "Note the Windows version and edition by hand (winver), or run \"msinfo32 /nfo "
     "sysinfo.nfo\"."},
    {"folder.no-setup-log", Severity::Info,
     "No device-setup log was collected: the Windows INF folder's log could not be read or does "
     "not exist.",
     "Copy %WINDIR%\\INF\\setupapi.dev.log (setupapi.log on Windows XP) by hand as an "
     "administrator."},
    {"triage.no-rule-matched", Severity::Info,
     "No file read states a failure or an installation's outcome.",
     "Read the logs by hand. If the user saw an error, ask for a verbose installer log (msiexec "
     "/l*v) of a new attempt."},
    // The input itself.
    {"input.not-text", Severity::Warning, "A file that is not text (binary data, no UTF-16 mark).",
     "Ask the user for this file again: it may have been damaged."},
    {"input.cut-text", Severity::Warning, "A UTF-16 file that ends in the middle of a character.",
     "Ask the user for this file again."},
    {"input.bad-characters", Severity::Info,
     "UTF-16 characters without their pair, shown as U+FFFD.", "Nothing to do."},
    {"input.long-lines", Severity::Info, "Lines longer than 64 KiB, cut to that length.",
     "Nothing to do."},
    {"input.damaged-entry", Severity::Warning,
     "A file whose reading stopped short: a damaged, cut or oversized zip entry, a wrong "
     "checksum, a deflate bomb, a file shortened while read.",
     kResend},
    {"input.overlapping-entries", Severity::Warning,
     "Zip entries that share or overlap their bytes, or more inflated bytes than a whole archive "
     "may give.",
     kResend},
    {"input.unreadable-file", Severity::Warning,
     "A file that could not be opened (not a regular file any more, a link put in its place, no "
     "rights).",
     kResend},
    {"input.mixed-log", Severity::Info,
     "An installer log holding a few lines of the other kind (WiX bundle lines in a Windows "
     "Installer log, or the reverse): read as the kind most of its lines are, the others left "
     "out.",
     "Nothing, unless the log was pieced together from several; then ask for the originals."},
    {"input.many-sessions", Severity::Info,
     "An installer log appended to by more sessions than are kept: the newest are read, the "
     "older ones counted.",
     "Nothing: the newest sessions decide. Ask for the log again if an older one matters."},
    {"input.reader-failed", Severity::Warning, "A file that could not be read to its end.",
     "Read this file by hand."},
    {"input.too-many-files", Severity::Warning,
     "More than 200 files look like logs or reports; only the first 200 by name are read.",
     "A collected folder holds a handful of files: check that PATH is the folder the collector "
     "made."},
    {"input.unsafe-name", Severity::Warning,
     "Names in the archive that point outside its folder; they are only shown, nothing is "
     "extracted.",
     "The archive was not made by \"Send to, Compressed (zipped) folder\": ask the user to zip "
     "the collected folder again."},
    {"input.subfolder-files", Severity::Info,
     "Files in subfolders, which a collected folder does not have; they are not read.",
     "Read those files by hand if they matter."},
    {"input.nested-archive", Severity::Warning,
     "An archive inside the collected folder or its zip (a zip in the zip): it is not opened, so "
     "what it holds is not read.",
     "Ask the user to send the collected folder zipped once, not an archive inside another."},
    {"input.link", Severity::Warning,
     "Links in the folder (on Windows, reparse points that name another file); a link is never "
     "followed, whatever it points to.",
     "A collected folder holds plain files only: ask the user to zip the folder the collector "
     "made and send that zip."},
    {"input.duplicate", Severity::Info,
     "The same bytes under two names (a rollback log is often a copy of a package log); read "
     "once.",
     "Nothing to do."},
};

}  // namespace

const std::vector<Rule>& Catalogue() { return kRules; }

const Rule& RuleById(std::string_view id) {
  for (const Rule& rule : kRules) {
    if (id == rule.id) return rule;
  }
  throw std::logic_error("no rule " + std::string(id) + " in the catalogue");
}

Finding MakeFinding(std::string_view rule_id, const std::string& file, std::string message,
                    uint64_t line) {
  const Rule& rule = RuleById(rule_id);
  Finding finding;
  finding.rule = rule.id;
  finding.severity = rule.severity;
  finding.file = file;
  finding.line = line;
  finding.message = std::move(message);
  finding.remedy = rule.remedy;
  return finding;
}

std::string CatalogueText() {
  static const char* const kSeverity[] = {"error", "warning", "note"};
  std::string out;
  for (const Rule& rule : kRules) {
    out += std::string(rule.id) + " (" + kSeverity[static_cast<int>(rule.severity)] + ")\n";
    out += "    " + std::string(rule.detects) + "\n";
    out += "    What to do: " + std::string(rule.remedy) + "\n";
  }
  // Then every code and rule entry of the catalogue of knowledge: with the
  // rules above, everything a finding can say.
  return out + "\n" + KnowledgeText();
}

}  // namespace triage
