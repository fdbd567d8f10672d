// Folder lookups: the desktop and local application data are the XDG
// desktop and data folders; there is no Windows folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/posix/posix_platform.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

constexpr std::int32_t kFailed = static_cast<std::int32_t>(0x80004005u);  // E_FAIL

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> HomeFolder() {
  if (auto home = Environment("HOME")) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir) {
    return std::string(entry->pw_dir);
  }
  return std::nullopt;
}

// An XDG base folder: the variable when it holds an absolute path, otherwise
// the fallback below the home folder.
std::optional<std::string> XdgFolder(const char* variable, const char* fallback) {
  if (auto value = Environment(variable); value && value->front() == '/') return value;
  auto home = HomeFolder();
  if (!home) return std::nullopt;
  return *home + "/" + fallback;
}

// XDG_DESKTOP_DIR from user-dirs.dirs: "$HOME/rest" or "/absolute".
std::optional<std::string> UserDirsDesktop(const std::string& home) {
  auto config = XdgFolder("XDG_CONFIG_HOME", ".config");
  if (!config) return std::nullopt;
  std::ifstream file(*config + "/user-dirs.dirs");
  std::optional<std::string> found;
  for (std::string line; std::getline(file, line);) {
    static const std::string kKey = "XDG_DESKTOP_DIR=\"";
    if (line.compare(0, kKey.size(), kKey) != 0) continue;
    std::string::size_type close = line.find('"', kKey.size());
    if (close == std::string::npos) continue;
    std::string value = line.substr(kKey.size(), close - kKey.size());
    if (value.compare(0, 5, "$HOME") == 0) {
      found = home + value.substr(5);
    } else if (!value.empty() && value.front() == '/') {
      found = value;
    }
  }
  return found;
}

std::optional<std::string> DesktopFolder() {
  auto home = HomeFolder();
  if (!home) return std::nullopt;
  if (auto desktop = UserDirsDesktop(*home)) return desktop;
  return *home + "/Desktop";
}

}  // namespace

std::int32_t PosixPlatform::SHGetFolderPathW(int csidl, WChar (&buffer)[kMaxPath]) {
  buffer[0] = u'\0';
  std::optional<std::string> folder;
  if (csidl == CSIDL_DESKTOP) {
    folder = DesktopFolder();
  } else if (csidl == CSIDL_LOCAL_APPDATA) {
    folder = XdgFolder("XDG_DATA_HOME", ".local/share");
  }
  if (!folder) return kFailed;
  // Windows gives absolute paths, and the logic relies on that once it has
  // changed the current folder; a relative HOME is taken from where the tool
  // was started.
  if (!folder->empty() && folder->front() != '/') {
    char* current = ::getcwd(nullptr, 0);
    if (current == nullptr) return kFailed;
    folder = std::string(current) + "/" + *folder;
    std::free(current);
  }

  // Windows gives folder paths without a trailing separator.
  while (folder->size() > 1 && folder->back() == '/') folder->pop_back();
  WString text = FromNativePath(*folder);
  if (text.size() + 1 > kMaxPath) return kFailed;
  // No Windows folder holds a double quote. One here would close the quotes
  // around an output path in a report program's parameters early, and the
  // rest of the path would reach the program as further arguments.
  if (text.find(u'"') != WString::npos) return kFailed;
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
  return 0;
}

// A system of the newer layout: Windows 10.
std::uint32_t PosixPlatform::GetVersion() { return 10u | (19045u << 16); }

}  // namespace velmora
