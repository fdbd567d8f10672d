#include "pump.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "input/decoder.h"
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
      entry.lines.push_back({number, std::string(kept)});
      if (--entry.after_left == 0) {
        pending_[i] = pending_.back();
        pending_.pop_back();
      } else {
        ++i;
      }
    }
    current_number_ = number;
    current_ = kept;
    if (reader_.WantsMore()) reader_.Line(number, text, *this);
    Slot& slot = ring_[next_];
    slot.number = number;
    slot.text.assign(kept.data(), kept.size());
    next_ = (next_ + 1) % ring_.size();
    if (count_ < ring_.size()) ++count_;
  }

  EvidenceId Keep(EvidenceId reuse) override {
    EvidenceId id = reuse;
    if (id < 0 || static_cast<std::size_t>(id) >= kept_.size()) {
      id = static_cast<EvidenceId>(kept_.size());
      kept_.emplace_back();
    }
    Kept& entry = kept_[static_cast<std::size_t>(id)];
    entry.line = current_number_;
    entry.lines.resize(count_ + 1);
    std::size_t at = (next_ + ring_.size() - count_) % ring_.size();
    for (std::size_t i = 0; i < count_; ++i) {
      entry.lines[i].number = ring_[at].number;
      entry.lines[i].text.assign(ring_[at].text);
      at = (at + 1) % ring_.size();
    }
    entry.lines[count_].number = current_number_;
    entry.lines[count_].text.assign(current_.data(), current_.size());
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
        finding.context = entry.lines;
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
  struct Slot {
    uint64_t number = 0;
    std::string text;  // keeps its buffer from line to line
  };
  struct Kept {
    uint64_t line = 0;
    std::vector<EvidenceLine> lines;
    std::size_t after_left = 0;
  };

  Reader& reader_;
  std::array<Slot, kContextBefore> ring_;
  std::size_t next_ = 0;
  std::size_t count_ = 0;
  uint64_t current_number_ = 0;
  std::string_view current_;
  std::vector<Kept> kept_;
  std::vector<EvidenceId> pending_;  // kept lines still taking lines after them
};

Finding InputNote(const char* rule, const std::string& file, uint64_t line, std::string message) {
  Finding finding = MakeFinding(rule, file);
  finding.line = line;
  finding.message = std::move(message);
  return finding;
}

}  // namespace

Pumped Pump(ByteStream& stream, Reader& reader, const std::string& name, std::size_t max_line_bytes,
            std::vector<char>& buffer) {
  Pumped pumped;
  PumpSink sink(reader);
  TextDecoder decoder(sink, max_line_bytes);
  uLong crc = crc32(0L, Z_NULL, 0);
  const char* data = nullptr;
  std::size_t got = 0;
  while (reader.WantsMore() && stream.Next(buffer, data, got)) {
    pumped.bytes += got;
    // zlib takes at most a uInt at a time.
    for (std::size_t at = 0; at < got;) {
      const auto piece =
          static_cast<uInt>(std::min<std::size_t>(got - at, std::numeric_limits<uInt>::max()));
      crc = crc32(crc, reinterpret_cast<const Bytef*>(data + at), piece);
      at += piece;
    }
    decoder.Feed(data, got);
    if (decoder.encoding() == Encoding::Binary) break;
  }
  decoder.Finish();
  pumped.crc = static_cast<uint32_t>(crc);
  if (decoder.encoding() == Encoding::Binary) {
    pumped.input.push_back(InputNote("input.not-text", name, 0,
                                     name + " is not text (binary data, no UTF-16 mark); it was "
                                            "not read"));
    return pumped;
  }
  pumped.result = reader.End();
  sink.Resolve(pumped.result);

  const DecodeStats& stats = decoder.stats();
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
