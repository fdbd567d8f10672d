#include "pump.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <exception>
#include <optional>

#include "input/batch_pipeline.h"
#include "input/line_batches.h"
#include "rules/catalogue.h"
#include "rules/knowledge.h"
#include "rules/text.h"

namespace triage {
namespace {

class PumpSink : public EvidenceKeeper {
 public:
  explicit PumpSink(Reader& reader) : reader_(reader) {}

  void Line(const LineBatch& batch, std::size_t index) {
    batch_ = &batch;
    index_ = index;
    const uint64_t number = batch.number(index);
    const std::string_view text = batch.text(index);
    if (!waiting_.empty()) TakeAfter(number, text);
    reader_.Line(number, text, *this);
  }

  // A line kept is only marked: a reader keeps moving its candidate (the
  // latest action, say) far more often than it settles, so its lines are
  // copied once, when the batch is done, from where they lie in it.
  EvidenceId Keep(EvidenceId reuse) override {
    EvidenceId id = reuse;
    if (id < 0 || static_cast<std::size_t>(id) >= kept_.size()) {
      if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
      } else {
        id = static_cast<EvidenceId>(kept_.size());
        kept_.emplace_back();
      }
    }
    Kept& entry = kept_[static_cast<std::size_t>(id)];
    entry.released = false;
    entry.line = batch_->number(index_);
    entry.index = index_;
    if (!entry.fresh) {
      entry.fresh = true;
      fresh_.push_back(id);
    }
    return id;
  }

  void Release(EvidenceId id) override {
    if (id < 0 || static_cast<std::size_t>(id) >= kept_.size()) return;
    Kept& entry = kept_[static_cast<std::size_t>(id)];
    if (entry.released) return;
    entry.released = true;
    if (entry.fresh) {
      entry.fresh = false;
      fresh_.erase(std::find(fresh_.begin(), fresh_.end(), id));
    }
    if (entry.waiting) {
      entry.waiting = false;
      waiting_.erase(std::find(waiting_.begin(), waiting_.end(), id));
    }
    free_.push_back(id);
  }

  // Before the batch is reused: the lines kept in it copied with their
  // context, and its last lines kept for a line kept early in the next one.
  void BatchDone(const LineBatch& batch, std::size_t read) {
    for (const EvidenceId id : fresh_) {
      Kept& entry = kept_[static_cast<std::size_t>(id)];
      entry.fresh = false;
      entry.count = 0;
      for (std::size_t back = kContextBefore; back > 0; --back) {
        if (const Seen* seen = Before(batch, entry.index, back)) {
          entry.Add(seen->number, seen->text);
        }
      }
      entry.Add(batch.number(entry.index), CutUtf8(batch.text(entry.index)));
      std::size_t after = entry.index + 1;
      for (; after < read && after <= entry.index + kContextAfter; ++after) {
        entry.Add(batch.number(after), CutUtf8(batch.text(after)));
      }
      entry.after_left = kContextAfter - (after - entry.index - 1);
      if (entry.after_left > 0 && !entry.waiting) {
        entry.waiting = true;
        waiting_.push_back(id);
      }
    }
    fresh_.clear();
    std::array<Seen, kContextBefore> last;
    std::size_t count = 0;
    for (std::size_t back = kContextBefore; back > 0; --back) {
      if (const Seen* seen = Before(batch, read, back)) last[count++] = *seen;
    }
    std::array<Slot, kContextBefore> copies;  // `last` may lie in `owned_`
    for (std::size_t i = 0; i < count; ++i) copies[i].Set(last[i].text);
    tail_count_ = count;
    for (std::size_t i = 0; i < count; ++i) {
      owned_[i].Set(copies[i].view());
      tail_[i] = {last[i].number, owned_[i].view()};
    }
  }

  // The reader's handles turned into lines and context.
  void Resolve(FileResult& result) const {
    for (Finding& finding : result.findings) {
      if (finding.evidence != kNoEvidence) {
        const Kept& entry = kept_[static_cast<std::size_t>(finding.evidence)];
        finding.line = entry.line;
        finding.context.clear();
        for (std::size_t i = 0; i < entry.count; ++i) {
          finding.context.push_back({entry.seen[i].number, std::string(entry.seen[i].text)});
        }
      }
      for (const EvidenceLine& line : finding.also) {
        const bool known =
            std::any_of(finding.context.begin(), finding.context.end(),
                        [&](const EvidenceLine& seen) { return seen.number == line.number; });
        if (!known) finding.context.push_back(line);
      }
      std::stable_sort(
          finding.context.begin(), finding.context.end(),
          [](const EvidenceLine& a, const EvidenceLine& b) { return a.number < b.number; });
      finding.evidence = kNoEvidence;
      finding.also.clear();
    }
    for (Attempt& attempt : result.attempts) {
      if (attempt.evidence != kNoEvidence) {
        attempt.line = kept_[static_cast<std::size_t>(attempt.evidence)].line;
      }
      attempt.evidence = kNoEvidence;
    }
  }

 private:
  struct Seen {
    uint64_t number = 0;
    std::string_view text;
  };
  // A fixed buffer: keeping a line is one bounded copy, never an allocation.
  struct Slot {
    std::size_t size = 0;
    std::array<char, kMaxKeptLine> text;
    void Set(std::string_view line) {
      size = line.size();
      if (!line.empty()) std::memcpy(text.data(), line.data(), line.size());
    }
    std::string_view view() const { return std::string_view(text.data(), size); }
  };
  static constexpr std::size_t kKeptLines = kContextBefore + 1 + kContextAfter;
  struct Kept {
    uint64_t line = 0;
    std::size_t index = 0;              // in the batch being read, while fresh
    bool fresh = false;                 // kept in the batch being read, not yet copied
    bool waiting = false;               // in `waiting_`, for lines after it in the next batch
    bool released = false;              // in `free_`, for a later Keep
    std::array<Seen, kKeptLines> seen;  // views into `lines`
    std::array<Slot, kKeptLines> lines;
    std::size_t count = 0;
    std::size_t after_left = 0;
    void Add(uint64_t number, std::string_view text) {
      lines[count].Set(text);
      seen[count] = {number, lines[count].view()};
      ++count;
    }
  };

  // A line of the next batch after lines kept near the end of the last.
  void TakeAfter(uint64_t number, std::string_view text) {
    for (std::size_t i = 0; i < waiting_.size();) {
      Kept& entry = kept_[static_cast<std::size_t>(waiting_[i])];
      if (!entry.fresh) entry.Add(number, CutUtf8(text));  // a fresh one is copied whole later
      if (entry.fresh || --entry.after_left == 0) {
        entry.waiting = false;
        waiting_[i] = waiting_.back();
        waiting_.pop_back();
      } else {
        ++i;
      }
    }
  }

  // The line `back` lines before line `index` of `batch`: in the batch, or
  // among the copied last lines of the batches before it; null before the
  // first line. The answer is read before the next call.
  const Seen* Before(const LineBatch& batch, std::size_t index, std::size_t back) {
    if (back <= index) {
      scratch_ = {batch.number(index - back), CutUtf8(batch.text(index - back))};
      return &scratch_;
    }
    const std::size_t earlier = back - index;
    return earlier <= tail_count_ ? &tail_[tail_count_ - earlier] : nullptr;
  }

  Reader& reader_;
  const LineBatch* batch_ = nullptr;
  std::size_t index_ = 0;
  std::array<Seen, kContextBefore> tail_;   // the last lines before the batch, oldest first
  std::array<Slot, kContextBefore> owned_;  // their text
  std::size_t tail_count_ = 0;
  Seen scratch_;
  std::deque<Kept> kept_;            // never moved: a kept line points into its own slots
  std::vector<EvidenceId> fresh_;    // kept in the batch being read
  std::vector<EvidenceId> waiting_;  // kept lines still taking lines after them
  std::vector<EvidenceId> free_;     // released, to be reused
};

}  // namespace

Pumped Pump(ByteStream& stream, Reader& reader, const std::string& name, std::size_t max_line_bytes,
            BatchStore& store, uint64_t inline_bytes) {
  Pumped pumped;
  PumpSink sink(reader);
  LineBatcher batcher(stream, max_line_bytes, store.window);
  // A reader that fails on a line has still read the lines before it: what
  // it found there stands, and a finding says where the reading stopped.
  std::optional<Finding> stopped;
  const auto stop = [&](uint64_t line, const char* why) {
    stopped = MakeFinding("input.reader-failed", name,
                          Say("input.reader-failed.at-line",
                              {{"file", name}, {"line", std::to_string(line)}, {"why", why}}),
                          line);
  };
  RunBatches(batcher, store, inline_bytes, [&](const LineBatch& batch) {
    std::size_t read = 0;
    try {
      for (; read < batch.size() && reader.WantsMore(); ++read) sink.Line(batch, read);
    } catch (const std::exception& e) {
      stop(batch.number(read), e.what());
    }
    sink.BatchDone(batch, read);
    return !stopped && reader.WantsMore();
  });
  pumped.bytes = batcher.bytes();
  pumped.hash = batcher.hash();
  if (batcher.binary()) {
    pumped.input.push_back(
        MakeFinding("input.not-text", name, Say("input.not-text", {{"file", name}})));
    return pumped;
  }
  try {
    pumped.result = reader.End();
  } catch (const std::exception& e) {
    pumped.result = FileResult{};
    if (!stopped) stop(batcher.stats().lines, e.what());
  }
  sink.Resolve(pumped.result);
  if (stopped) pumped.input.push_back(std::move(*stopped));

  const DecodeStats& stats = batcher.stats();
  const std::string problem = stream.problem();
  if (!problem.empty()) {
    pumped.input.push_back(
        MakeFinding("input.damaged-entry", name,
                    Say("input.damaged-entry", {{"file", name}, {"why", problem}})));
  }
  if (stats.odd_byte_count) {
    pumped.input.push_back(
        MakeFinding("input.cut-text", name, Say("input.cut-text", {{"file", name}}), stats.lines));
  } else if (stats.replaced > 0) {
    pumped.input.push_back(
        MakeFinding("input.bad-characters", name,
                    SayCounted("input.bad-characters", static_cast<int64_t>(stats.replaced),
                               {{"file", name}})));
  }
  if (stats.cut_lines > 0) {
    pumped.input.push_back(
        MakeFinding("input.long-lines", name,
                    SayCounted("input.long-lines", static_cast<int64_t>(stats.cut_lines),
                               {{"file", name}, {"kib", std::to_string(max_line_bytes / 1024)}}),
                    stats.first_cut_line));
  }
  return pumped;
}

}  // namespace triage
