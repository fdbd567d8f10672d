// Started programs (not yet realised on POSIX).
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#include "platform/win_constants.h"

namespace velmora {

Handle PosixPlatform::ShellExecuteExW(const ShellExecuteRequest&) { return nullptr; }

std::uint32_t PosixPlatform::WaitForSingleObject(Handle, std::uint32_t) { return WAIT_FAILED; }

void PosixPlatform::Sleep(std::uint32_t milliseconds) { ::usleep(milliseconds * 1000u); }

bool PosixPlatform::CloseHandle(Handle) { return false; }

}  // namespace velmora
