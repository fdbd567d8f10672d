#include "codes.h"

#include <algorithm>
#include <iterator>

namespace triage {
namespace {

struct Entry {
  int64_t code;
  CodeInfo info;
};

constexpr char kSeeFailedAction[] =
    "Find the failing action (the first \"Return value 3\") and the error lines just above it; "
    "fix what they name and install again.";

// 2502 and 2503 nearly always mean that the installer could not use the
// temporary folder or was started without the rights it assumed.
constexpr char kTempRights[] =
    "Give SYSTEM and the installing user full control of the user's temporary folder (%TEMP%) "
    "and C:\\Windows\\Temp, then run the installation from an elevated prompt.";

const Entry kInstallerCodes[] = {
    {0, {"the installation completed successfully", "Nothing to do."}},
    {1223,
     {"the operation was cancelled by the user", "Run the installation again and let it finish."}},
    {1500,
     {"another installation is in progress",
      "Wait for the other installation to end (or restart Windows), then install again."}},
    {1601,
     {"the Windows Installer service could not be accessed",
      "Make sure the Windows Installer service is not disabled, restart Windows and try again."}},
    {1602,
     {"the user cancelled the installation", "Run the installation again and let it finish."}},
    {1603, {"a fatal error occurred during installation", kSeeFailedAction}},
    {1605,
     {"the product is not installed",
      "The operation only applies to an installed product; install it first."}},
    {1612,
     {"the installation source is not available",
      "Make the original installer (or its folder) available again, or reinstall from a fresh "
      "download."}},
    {1618,
     {"another installation is already in progress",
      "Wait for the other installation (often Windows Update) to finish, or restart Windows, then "
      "install again."}},
    {1619,
     {"the installation package could not be opened",
      "Check that the package exists, was downloaded completely and is readable by the user "
      "installing it."}},
    {1620,
     {"the installation package could not be opened (it is not a valid package)",
      "Download the installer again; the copy used is damaged."}},
    {1625,
     {"the installation is forbidden by system policy",
      "Ask the machine's administrator to allow the installation, or install as an "
      "administrator."}},
    {1633,
     {"the package is not supported on this processor type",
      "Use the installer built for this system's architecture (x64 or x86)."}},
    {1638,
     {"another version of this product is already installed",
      "Uninstall the installed version (Apps and Features) or use the upgrade package, then "
      "install again."}},
    {1641,
     {"the installer has started a restart to complete the installation",
      "Let Windows restart; the installation completes after it."}},
    {1708, {"the installation failed", kSeeFailedAction}},
    {1721,
     {"a program required for this installation could not be run",
      "A custom action's program is missing or blocked; check antivirus quarantine and reinstall "
      "from a fresh download."}},
    {1722,
     {"a program run as part of the setup did not finish as expected",
      "The custom action named in the log failed; look at its own output lines just above."}},
    {1723,
     {"a DLL required for this installation could not be run",
      "A custom action's DLL could not be loaded; check antivirus quarantine, free disk space in "
      "the temporary folder, and reinstall."}},
    {1920,
     {"a service failed to start",
      "Check that the user installing has the rights to start services and look at the System "
      "event log for the service's own error."}},
    {1923,
     {"a service could not be installed",
      "Install as an administrator; check that no older copy of the service is marked for "
      "deletion (restart Windows first)."}},
    {1925,
     {"the user does not have the privileges to install for all users",
      "Run the installation as an administrator (elevated)."}},
    {2502,
     {"Windows Installer called RunScript when no installation script was in progress (an "
      "internal error)",
      kTempRights}},
    {2503,
     {"Windows Installer called InstallFinalize when no installation was in progress (an "
      "internal error)",
      kTempRights}},
    {2727,
     {"a directory named in the package is missing from its Directory table (a fault of the "
      "package)",
      "The package itself is faulty: send the log to Velmora so that the package can be "
      "mended."}},
    {3010,
     {"the installation succeeded but a restart is required to complete it",
      "Restart Windows before using the product or installing anything else."}},
};

const Entry kSetupApiCodes[] = {
    {0x2, {"a file the driver package names was not found", "Reinstall the driver package."}},
    {0x5, {"access was denied", "Install the driver as an administrator."}},
    {0xE0000203,
     {"no driver was selected for the device",
      "Check that the INF matches the device's hardware ID and architecture."}},
    {0xE0000219,
     {"the INF names no service (function driver) for the device",
      "The driver package is incomplete for this device: use the package built for this Windows "
      "version."}},
    {0xE0000228,
     {"no compatible driver was found for the device",
      "Check that the INF lists this device's hardware ID and this Windows version and "
      "architecture."}},
    {0xE000022F,
     {"the third-party INF has no catalog (it is not signed)",
      "Use the signed driver package; an unsigned INF cannot be installed on this system."}},
    {0xE0000242,
     {"the publisher of the driver's signature is not trusted (trust was not established)",
      "Accept the publisher when Windows asks, or add its certificate to Trusted Publishers."}},
    {0xE0000243,
     {"the driver's publisher is not trusted",
      "Add the publisher's certificate to Trusted Publishers or install interactively and "
      "accept it."}},
    {0xE0000247,
     {"the driver package could not be added to the driver store",
      "Check the signature and integrity of the package; run the installation as an "
      "administrator."}},
    {0xE0000248,
     {"the device installation is blocked by policy",
      "A Group Policy forbids this device or class; ask the administrator."}},
    {0xE0000249,
     {"the driver installation is blocked by policy",
      "A Group Policy forbids this driver; ask the administrator."}},
    {0xE000024B,
     {"a file's hash is not in the driver's catalog (the package was altered)",
      "Reinstall from an unmodified driver package; something changed a signed file."}},
};

template <size_t N>
const CodeInfo* Find(const Entry (&table)[N], int64_t code) {
  const auto found = std::find_if(std::begin(table), std::end(table),
                                  [code](const Entry& entry) { return entry.code == code; });
  return found == std::end(table) ? nullptr : &found->info;
}

}  // namespace

const CodeInfo* FindInstallerCode(int64_t code) { return Find(kInstallerCodes, code); }
const CodeInfo* FindSetupApiCode(int64_t code) { return Find(kSetupApiCodes, code); }

std::string ExplainInstallerCode(int64_t code) {
  std::string text = std::to_string(code);
  if (const CodeInfo* info = FindInstallerCode(code)) {
    text += " (";
    text += info->meaning;
    text += ")";
  }
  return text;
}

std::optional<int64_t> ReturnValueToCode(int64_t logged) {
  switch (logged) {
    case 0:
      return 1626;  // the function could not be executed
    case 1:
      return 0;
    case 2:
      return 1602;
    case 3:
      return 1603;
    case 4:
      return 1604;
    case 5:
      return 0;
    case 6:
      return 1609;
    case 7:
      return 1626;
    case 8:
      return 1618;
    default:
      return std::nullopt;
  }
}

int64_t UnwrapHresult(int64_t hresult) {
  const uint64_t bits = static_cast<uint64_t>(hresult) & 0xFFFFFFFFu;
  if ((bits & 0xFFFF0000u) == 0x80070000u) return static_cast<int64_t>(bits & 0xFFFFu);
  return static_cast<int64_t>(bits);
}

}  // namespace triage
