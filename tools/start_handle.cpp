#include "platform/win_constants.h"
#include "tools/processes.h"
#include "tools/pump_messages.h"

namespace velmora {

CStartHandle::~CStartHandle() { Close(); }

Handle CStartHandle::Start(std::uint32_t) { return nullptr; }

void CStartHandle::Release() {
  if (selfDelete_ != 0) delete this;
}

void CStartHandle::Run() {
  if (IsHeld()) {
    WaitForExit();
    Close();
  }
  Reset(Start(0));
}

void CStartHandle::WaitForExit() {
  Platform& platform = CurrentPlatform();
  // A zero time-out rather than a blocking wait: window messages addressed
  // to this thread are handled between the polls.
  while (IsHeld() && platform.WaitForSingleObject(Get(), 0) == WAIT_TIMEOUT) {
    PumpMessages();
    platform.Sleep(10);
  }
}

}  // namespace velmora
