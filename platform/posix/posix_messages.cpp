// There is no thread message queue here: it is always empty.
#include "platform/posix/posix_platform.h"

namespace velmora {

bool PosixPlatform::PeekMessageNoRemove(Message&) { return false; }
bool PosixPlatform::IsWindowUnicode(Window) { return false; }
int PosixPlatform::GetMessageW(Message&) { return -1; }
int PosixPlatform::GetMessageA(Message&) { return -1; }
void PosixPlatform::TranslateMessage(const Message&) {}
void PosixPlatform::DispatchMessageW(const Message&) {}
void PosixPlatform::DispatchMessageA(const Message&) {}

}  // namespace velmora
