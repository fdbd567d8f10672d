// Console, directories, the current folder and the shell's "open".
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/posix_platform.h"
#include "platform/utf.h"

extern char** environ;

namespace velmora {

namespace {
// Constant-initialised: no start-up code and no guarded local static.
PosixPlatform g_platform;
}  // namespace

Platform& SystemPlatform() { return g_platform; }

void PosixPlatform::PrintMessage(const WChar* message) {
  std::fputs(Utf16ToUtf8(message).c_str(), stdout);
}

void FlushConsoleBeforeStart() { std::fflush(stdout); }

bool PosixPlatform::CreateDirectoryW(const WString& path) {
  if (::mkdir(ToNativePath(path).c_str(), 0777) == 0) {
    SetLastErrorFromErrno(0);
    return true;
  }
  SetLastErrorFromErrno(errno);
  return false;
}

bool PosixPlatform::IsDirectory(const WString& path) {
  struct stat status;
  return ::stat(ToNativePath(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool PosixPlatform::SetCurrentDirectoryW(const WString& path) {
  if (::chdir(ToNativePath(path).c_str()) == 0) {
    SetLastErrorFromErrno(0);
    return true;
  }
  SetLastErrorFromErrno(errno);
  return false;
}

// The root folder stands for the system directory: only the administrator
// can write there. (Programs are found on PATH here, never in the current
// folder, unless PATH itself names it.)
std::uint32_t PosixPlatform::GetSystemDirectoryW(WChar (&buffer)[kMaxPath]) {
  const WString root = FromNativePath("/");
  root.copy(buffer, root.size());
  buffer[root.size()] = u'\0';
  return static_cast<std::uint32_t>(root.size());
}

// No windows here: the shell has no owner to give.
Window PosixPlatform::GetActiveWindow() { return nullptr; }

// "open" hands the path to the desktop's opener, detached and not waited
// for; without one there is nothing to do.
void PosixPlatform::ShellExecuteW(Window, const WString& verb, const WString& file, const WString&,
                                  int) {
  if (verb != u"open") return;
#if defined(__APPLE__)
  const char* opener = "open";
#else
  const char* opener = "xdg-open";
#endif
  std::string target = ToNativePath(file);
  char* argv[] = {const_cast<char*>(opener), const_cast<char*>(target.c_str()), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The opener's own chatter must not mix with the tool's console lines.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
#if defined(POSIX_SPAWN_SETSID)
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
#endif
  pid_t pid = 0;
  FlushConsoleBeforeStart();
  posix_spawnp(&pid, opener, &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace velmora
