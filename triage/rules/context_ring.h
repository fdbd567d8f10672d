// The last few lines of a file, kept so that a finding can show the lines
// just above its evidence. Its slots keep their buffers, so that ordinary
// lines cost a bounded copy and no allocation once the slots have grown.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "text.h"

namespace triage {

class ContextRing {
 public:
  static constexpr size_t kLines = 5;

  void Push(uint64_t number, std::string_view text);
  // The kept lines, oldest first (the last is the latest pushed).
  std::vector<EvidenceLine> Snapshot() const;
  // Becomes a copy of `other`, copying only the bytes its lines hold.
  void CopyFrom(const ContextRing& other);
  void Clear() { count_ = 0; }

 private:
  // Fixed buffers: pushing a line is one bounded copy.
  struct Slot {
    uint64_t number = 0;
    size_t size = 0;
    std::array<char, kMaxKeptLine> text;
  };
  std::array<Slot, kLines> slots_;
  size_t next_ = 0;
  size_t count_ = 0;
};

// Adds `extra` lines (for instance error lines further up) to `context`,
// keeping file order and dropping repeats.
void MergeContext(std::vector<EvidenceLine>& context, const std::vector<EvidenceLine>& extra);

}  // namespace triage
