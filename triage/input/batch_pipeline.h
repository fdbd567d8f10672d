// Hands a stream's line batches to a consumer. A small stream is read and
// decoded on the caller's thread between batches; once more than
// `inline_bytes` have been read, reading and decoding move to a thread of
// their own, at most two batches ahead of the consumer, so that a large
// log costs about the longer of the two rather than their sum.
#pragma once

#include <cstdint>
#include <functional>

#include "line_batches.h"

namespace triage {

// Typical installer logs are smaller than this and never start a thread.
constexpr uint64_t kInlineBytes = 4 << 20;
constexpr uint64_t kNeverAhead = UINT64_MAX;

// `consume` returns false to stop early; the batcher then stops reading.
// An exception in either side reaches the caller once the other has stopped.
void RunBatches(LineBatcher& batcher, BatchStore& store, uint64_t inline_bytes,
                const std::function<bool(const LineBatch&)>& consume);

}  // namespace triage
