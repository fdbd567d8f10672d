// The programs of the system: a report program is there when the PATH
// search that would start it finds it; there is no registry, so no list of
// installed programs; and a file written whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/posix_platform.h"

namespace velmora {
namespace {

bool IsProgram(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// As posix_spawnp looks for `name`: a name with a slash as it is, any other
// in each folder of PATH (an empty entry being the current folder).
bool FoundOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsProgram(name);
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = folders.find(':', begin);
    std::string folder = folders.substr(begin, end == std::string::npos ? end : end - begin);
    if (folder.empty()) folder = ".";
    if (IsProgram(folder + "/" + name)) return true;
    if (end == std::string::npos) return false;
    begin = end + 1;
  }
}

}  // namespace

// The names the report tools start, as the POSIX stand-in starts them.
bool PosixPlatform::SystemProgramExists(SystemProgram program) {
  return FoundOnPath(program == SystemProgram::Wmic ? "wmic" : "msinfo32.exe");
}

bool PosixPlatform::ListInstalledPrograms(std::vector<UninstallEntry>& entries) {
  entries.clear();
  return false;
}

bool PosixPlatform::WriteWholeFile(const WString& path, const std::string& bytes) {
  const std::string native = ToNativePath(path);
  const int file = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  bool written = true;
  std::size_t done = 0;
  while (written && done < bytes.size()) {
    const ssize_t wrote = ::write(file, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    written = wrote > 0;
    if (written) done += static_cast<std::size_t>(wrote);
  }
  written = ::close(file) == 0 && written;
  if (!written) ::unlink(native.c_str());
  return written;
}

}  // namespace velmora
