#include "tools/pump_messages.h"

#include "platform/platform.h"

namespace velmora {

void PumpMessages() {
  Platform& platform = CurrentPlatform();
  Message message;
  while (platform.PeekMessageNoRemove(message)) {
    // A message for no window (a thread message) counts as ANSI.
    const bool wide = message.window != nullptr && platform.IsWindowUnicode(message.window);
    const int retrieved = wide ? platform.GetMessageW(message) : platform.GetMessageA(message);
    // Zero is a quit message, below zero an error: neither is dispatched.
    if (retrieved <= 0) continue;
    platform.TranslateMessage(message);
    if (wide) {
      platform.DispatchMessageW(message);
    } else {
      platform.DispatchMessageA(message);
    }
  }
}

}  // namespace velmora
