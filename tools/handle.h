// Ownership of one platform handle.
#pragma once

#include "platform/platform.h"

namespace velmora {

// Owns one platform handle, initially none, and closes it when destroyed.
// Not copyable: a handle is closed exactly once, by its one owner.
class CHandle {
 public:
  CHandle() = default;
  ~CHandle();
  CHandle(const CHandle&) = delete;
  CHandle& operator=(const CHandle&) = delete;

  Handle Get() const { return handle_; }
  bool IsHeld() const { return handle_ != nullptr; }

  // Takes over `handle` (which may be none), closing the one held before.
  void Reset(Handle handle);

  // Closes the held handle, if any, and clears it.
  void Close();

 private:
  Handle handle_ = nullptr;
};

}  // namespace velmora
