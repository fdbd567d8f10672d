#include <cerrno>
#include <cstdint>

#include "platform/posix/posix_platform.h"
#include "platform/utf.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::string ToNativePath(const WString& path) {
  std::string native = Utf16ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

WString FromNativePath(const std::string& path) {
  WString text = Utf8ToUtf16(path);
  for (WChar& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

void SetLastErrorFromErrno(int error) {
  switch (error) {
    case 0:
      t_lastError = 0;
      break;
    case EEXIST:
      t_lastError = ERROR_ALREADY_EXISTS;
      break;
    case ENOENT:
    case ENOTDIR:
      t_lastError = ERROR_PATH_NOT_FOUND;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      t_lastError = ERROR_ACCESS_DENIED;
      break;
    default:
      t_lastError = 31;  // ERROR_GEN_FAILURE
      break;
  }
}

void SetLastErrorCode(std::uint32_t error) { t_lastError = error; }

std::uint32_t PosixPlatform::GetLastError() { return t_lastError; }

}  // namespace velmora
