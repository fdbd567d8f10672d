#include "file_kinds.h"

#include "rules/readers.h"
#include "rules/text.h"
#include "platform/text/ascii.h"

namespace triage {
namespace {

bool SetupApiName(std::string_view name) {
  return StartsWith(name, "setupapi") && EndsWith(name, ".log");
}
bool SetupApiContent(std::string_view head) {
  return Contains(head, ">>>  [") || Contains(head, "[SetupAPI Log]") ||
         Contains(head, "[Device Install Log]");
}

bool AppsName(std::string_view name) { return name == "installedapps.txt"; }
bool AppsContent(std::string_view head) {
  // WMIC's header: its column names, "Name" first, in English on every Windows.
  const std::string_view first = head.substr(0, head.find('\n'));
  return StartsWith(first, "Name ") && Contains(first, "Version");
}

bool SystemInfoName(std::string_view name) { return EndsWith(name, ".nfo"); }
bool SystemInfoContent(std::string_view head) { return Contains(head, "<MsInfo"); }

bool InstallerLogName(std::string_view name) { return EndsWith(name, ".log"); }
bool AnyContent(std::string_view) { return true; }

const std::vector<FileKind> kKinds = {
    {"device-setup log", SetupApiName, SetupApiContent, MakeSetupApiReader, "folder.no-setup-log"},
    {"installed-applications list", AppsName, AppsContent, MakeInstalledAppsReader,
     "folder.no-installed-apps"},
    {"system-information report", SystemInfoName, SystemInfoContent, MakeSystemInfoReader,
     "folder.no-system-info"},
    // Windows Installer and WiX bundle logs, told apart line by line.
    {"installer log", InstallerLogName, AnyContent, MakeInstallerLogReader,
     "folder.no-installer-log"},
};

}  // namespace

const std::vector<FileKind>& FileKinds() { return kKinds; }

const FileKind* KindByName(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  const std::string base =
      velmora::text::LowerAscii(slash == std::string_view::npos ? name : name.substr(slash + 1));
  for (const FileKind& kind : kKinds) {
    if (kind.by_name(base)) return &kind;
  }
  return nullptr;
}

const FileKind* KindByContent(std::string_view head) {
  for (const FileKind& kind : kKinds) {
    if (kind.by_content != nullptr && kind.by_content(head)) return &kind;
  }
  return nullptr;
}

}  // namespace triage
