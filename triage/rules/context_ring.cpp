#include "context_ring.h"

#include <algorithm>
#include <cstring>

#include "text.h"

namespace triage {

void ContextRing::Push(uint64_t number, std::string_view text) {
  Slot& slot = slots_[next_];
  slot.number = number;
  // Cut without splitting a character only when it is cut at all.
  const std::string_view kept = text.size() <= kMaxKeptLine ? text : CutUtf8(text);
  std::memcpy(slot.text.data(), kept.data(), kept.size());
  slot.size = kept.size();
  next_ = (next_ + 1) % kLines;
  if (count_ < kLines) ++count_;
}

std::vector<EvidenceLine> ContextRing::Snapshot() const {
  std::vector<EvidenceLine> lines;
  lines.reserve(count_);
  size_t at = (next_ + kLines - count_) % kLines;
  for (size_t i = 0; i < count_; ++i) {
    lines.push_back({slots_[at].number, std::string(slots_[at].text.data(), slots_[at].size)});
    at = (at + 1) % kLines;
  }
  return lines;
}

void ContextRing::CopyFrom(const ContextRing& other) {
  for (size_t i = 0; i < kLines; ++i) {
    slots_[i].number = other.slots_[i].number;
    slots_[i].size = other.slots_[i].size;
    std::memcpy(slots_[i].text.data(), other.slots_[i].text.data(), other.slots_[i].size);
  }
  next_ = other.next_;
  count_ = other.count_;
}

void MergeContext(std::vector<EvidenceLine>& context, const std::vector<EvidenceLine>& extra) {
  for (const EvidenceLine& line : extra) {
    const bool known = std::any_of(context.begin(), context.end(), [&](const EvidenceLine& kept) {
      return kept.number == line.number;
    });
    if (!known) context.push_back(line);
  }
  std::stable_sort(
      context.begin(), context.end(),
      [](const EvidenceLine& a, const EvidenceLine& b) { return a.number < b.number; });
}

}  // namespace triage
