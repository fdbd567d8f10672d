#include "tools/handle.h"

namespace velmora {

CHandle::~CHandle() { Close(); }

void CHandle::Reset(Handle handle) {
  if (handle == handle_) return;
  Close();
  handle_ = handle;
}

void CHandle::Close() {
  if (handle_ == nullptr) return;
  Handle held = handle_;
  handle_ = nullptr;
  CurrentPlatform().CloseHandle(held);
}

}  // namespace velmora
