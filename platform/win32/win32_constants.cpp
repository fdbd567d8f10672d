// The values the logic uses in place of the SDK's (platform/win_constants.h)
// must be the SDK's: a wrong one would pass every test against the fake and
// the POSIX stand-in and only go wrong on Windows.
#include "platform/win32/windows_headers.h"

#include "platform/text.h"
#include "platform/win_constants.h"

namespace velmora::windows_values {

#define VELMORA_SAME_AS_SDK(name, value) \
  static_assert(name == (value), #name " differs from the Windows SDK's")

VELMORA_SAME_AS_SDK(MAX_PATH, kMaxPath);
VELMORA_SAME_AS_SDK(CSIDL_DESKTOP, kCsidlDesktop);
VELMORA_SAME_AS_SDK(CSIDL_LOCAL_APPDATA, kCsidlLocalAppData);
VELMORA_SAME_AS_SDK(CSIDL_WINDOWS, kCsidlWindows);
VELMORA_SAME_AS_SDK(SW_SHOWNORMAL, kSwShowNormal);
VELMORA_SAME_AS_SDK(SEE_MASK_NOCLOSEPROCESS, kSeeMaskNoCloseProcess);
VELMORA_SAME_AS_SDK(WAIT_TIMEOUT, kWaitTimeout);
VELMORA_SAME_AS_SDK(WAIT_OBJECT_0, kWaitObject0);
VELMORA_SAME_AS_SDK(WAIT_FAILED, kWaitFailed);
VELMORA_SAME_AS_SDK(ERROR_ALREADY_EXISTS, kErrorAlreadyExists);
VELMORA_SAME_AS_SDK(ERROR_FILE_NOT_FOUND, kErrorFileNotFound);
VELMORA_SAME_AS_SDK(ERROR_PATH_NOT_FOUND, kErrorPathNotFound);
VELMORA_SAME_AS_SDK(ERROR_ACCESS_DENIED, kErrorAccessDenied);
VELMORA_SAME_AS_SDK(WM_QUIT, kWmQuit);
VELMORA_SAME_AS_SDK(FILE_ATTRIBUTE_READONLY, kFileAttributeReadOnly);
VELMORA_SAME_AS_SDK(FILE_ATTRIBUTE_DIRECTORY, kFileAttributeDirectory);
VELMORA_SAME_AS_SDK(FILE_ATTRIBUTE_NORMAL, kFileAttributeNormal);
VELMORA_SAME_AS_SDK(INVALID_FILE_ATTRIBUTES, kInvalidFileAttributes);

#undef VELMORA_SAME_AS_SDK

}  // namespace velmora::windows_values
