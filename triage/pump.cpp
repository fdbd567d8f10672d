#include "pump.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

#include "input/batch_pipeline.h"
#include "input/line_batches.h"
#include "rules/catalogue.h"
#include "rules/text.h"

namespace triage {
namespace {

class PumpSink : public LineSink, public EvidenceKeeper {
 public:
  explicit PumpSink(Reader& reader) : reader_(reader) {}

  void Line(uint64_t number, std::string_view text) override {
    const std::string_view kept = CutUtf8(text);
    // This line comes after the evidence kept on the lines just before it.
    for (std::size_t i = 0; i < pending_.size();) {
      Kept& entry = kept_[static_cast<std::size_t>(pending_[i])];
      entry.seen[entry.count++] = {number, kept};
      Arm(pending_[i]);
      if (--entry.after_left == 0) {
        pending_[i] = pending_.back();
        pending_.pop_back();
      } else {
        ++i;
      }
    }
    current_number_ = number;
    current_ = kept;
    reader_.Line(number, text, *this);
    ring_[next_] = {number, kept};
    next_ = (next_ + 1) % ring_.size();
    if (count_ < ring_.size()) ++count_;
  }

  // Lines are kept as views into the batch being read, and copied only
  // before it is reused: evidence a reader moves from line to line (its
  // latest candidate) costs one copy a batch, not one a move.
  void BatchDone() {
    for (const EvidenceId id : armed_) {
      Kept& entry = kept_[static_cast<std::size_t>(id)];
      for (std::size_t i = 0; i < entry.count; ++i) {
        if (entry.seen[i].text.data() == entry.lines[i].text.data()) continue;
        entry.lines[i].Set(entry.seen[i].text);
        entry.seen[i].text = entry.lines[i].view();
      }
      entry.armed = false;
    }
    armed_.clear();
    for (std::size_t i = 0; i < ring_.size(); ++i) {
      if (ring_[i].text.data() == owned_[i].text.data()) continue;
      owned_[i].Set(ring_[i].text);
      ring_[i].text = owned_[i].view();
    }
  }

  EvidenceId Keep(EvidenceId reuse) override {
    EvidenceId id = reuse;
    if (id < 0 || static_cast<std::size_t>(id) >= kept_.size()) {
      id = static_cast<EvidenceId>(kept_.size());
      kept_.emplace_back();
    }
    Kept& entry = kept_[static_cast<std::size_t>(id)];
    entry.line = current_number_;
    entry.count = 0;
    std::size_t at = (next_ + ring_.size() - count_) % ring_.size();
    for (std::size_t i = 0; i < count_; ++i) {
      entry.seen[entry.count++] = ring_[at];
      at = (at + 1) % ring_.size();
    }
    entry.seen[entry.count++] = {current_number_, current_};
    Arm(id);
    if (entry.after_left == 0) pending_.push_back(id);
    entry.after_left = kContextAfter;
    return id;
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
    std::array<Seen, kKeptLines> seen;  // in the batch, or in `lines` once copied
    std::array<Slot, kKeptLines> lines;
    std::size_t count = 0;
    std::size_t after_left = 0;
    bool armed = false;  // holds views into the batch being read
  };

  void Arm(EvidenceId id) {
    Kept& entry = kept_[static_cast<std::size_t>(id)];
    if (entry.armed) return;
    entry.armed = true;
    armed_.push_back(id);
  }

  Reader& reader_;
  std::array<Seen, kContextBefore> ring_;
  std::array<Slot, kContextBefore> owned_;
  std::size_t next_ = 0;
  std::size_t count_ = 0;
  uint64_t current_number_ = 0;
  std::string_view current_;
  std::deque<Kept> kept_;            // never moved: a kept line may point into its own slot
  std::vector<EvidenceId> pending_;  // kept lines still taking lines after them
  std::vector<EvidenceId> armed_;    // kept lines to copy before the batch goes
};

Finding InputNote(const char* rule, const std::string& file, uint64_t line, std::string message) {
  Finding finding = MakeFinding(rule, file);
  finding.line = line;
  finding.message = std::move(message);
  return finding;
}

}  // namespace

Pumped Pump(ByteStream& stream, Reader& reader, const std::string& name, std::size_t max_line_bytes,
            BatchStore& store, uint64_t inline_bytes) {
  Pumped pumped;
  PumpSink sink(reader);
  LineBatcher batcher(stream, max_line_bytes, store.window);
  RunBatches(batcher, store, inline_bytes, [&](const LineBatch& batch) {
    for (std::size_t i = 0; i < batch.size() && reader.WantsMore(); ++i) {
      sink.Line(batch.number(i), batch.text(i));
    }
    sink.BatchDone();
    return reader.WantsMore();
  });
  pumped.bytes = batcher.bytes();
  pumped.hash = batcher.hash();
  if (batcher.binary()) {
    pumped.input.push_back(InputNote("input.not-text", name, 0,
                                     name + " is not text (binary data, no UTF-16 mark); it was "
                                            "not read"));
    return pumped;
  }
  pumped.result = reader.End();
  sink.Resolve(pumped.result);

  const DecodeStats& stats = batcher.stats();
  const std::string problem = stream.problem();
  if (!problem.empty()) {
    pumped.input.push_back(InputNote("input.damaged-entry", name, 0,
                                     "Reading " + name + " stopped short: " + problem +
                                         ". Findings in it cover only what was read."));
  }
  if (stats.odd_byte_count) {
    pumped.input.push_back(
        InputNote("input.cut-text", name, stats.lines,
                  name + " ends in the middle of a UTF-16 character: the file was cut short"));
  } else if (stats.replaced > 0) {
    pumped.input.push_back(
        InputNote("input.bad-characters", name, 0,
                  name + ": " + Counted(static_cast<int64_t>(stats.replaced), "UTF-16 character") +
                      " without their pair show as U+FFFD"));
  }
  if (stats.cut_lines > 0) {
    pumped.input.push_back(InputNote(
        "input.long-lines", name, stats.first_cut_line,
        name + ": " + Counted(static_cast<int64_t>(stats.cut_lines), "line") + " longer than " +
            std::to_string(max_line_bytes / 1024) + " KiB were cut to that length"));
  }
  return pumped;
}

}  // namespace triage
