// Directory searches and file copies (not yet realised on POSIX).
#include "platform/posix/posix_platform.h"

namespace velmora {

std::unique_ptr<FileSearch> PosixPlatform::FindFirstFileW(const WString&) { return nullptr; }

long PosixPlatform::CompareFileTime(FileTime first, FileTime second) {
  return first < second ? -1 : first > second ? 1 : 0;
}

bool PosixPlatform::CopyFileW(const WString&, const WString&) { return false; }

}  // namespace velmora
