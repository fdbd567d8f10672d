#include "triage_run.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "file_kinds.h"
#include "input/collection.h"
#include "input/decoder.h"
#include "input_findings.h"
#include "judgement.h"
#include "pump.h"
#include "rules/catalogue.h"
#include "rules/knowledge.h"
#include "rules/text.h"

namespace triage {

namespace {

constexpr std::size_t kReadChunk = 1 << 20;
constexpr std::size_t kSniffBytes = 64 * 1024;

// The first lines of a file, decoded, to tell its kind by.
class HeadCollector : public LineSink {
 public:
  void Line(uint64_t, std::string_view text) override {
    text_.append(text);
    text_ += '\n';
  }
  std::string text_;
};

const FileKind* SniffKind(Collection& collection, const CollectedFile& file) {
  std::string problem;
  std::unique_ptr<ByteStream> stream = collection.Open(file, problem);
  if (!stream) return nullptr;
  std::string head(kSniffBytes, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const std::size_t n = stream->Read(&head[got], head.size() - got);
    if (n == 0) break;
    got += n;
  }
  HeadCollector collector;
  TextDecoder decoder(collector);
  decoder.Feed(head.data(), got);
  decoder.Finish();
  return KindByContent(collector.text_);
}

// Whether two files hold the same bytes, compared whole: their sizes and
// hashes agreed, which a hostile file could arrange.
bool SameBytes(Collection& collection, const CollectedFile& a, const CollectedFile& b) {
  std::string problem;
  std::unique_ptr<ByteStream> first = collection.Open(a, problem);
  std::unique_ptr<ByteStream> second = collection.Open(b, problem);
  if (!first || !second) return false;
  std::vector<char> left(kReadChunk), right(kReadChunk);
  while (true) {
    const std::size_t n = first->Read(left.data(), left.size());
    std::size_t m = 0;
    while (m < n) {
      const std::size_t got = second->Read(right.data() + m, n - m);
      if (got == 0) break;
      m += got;
    }
    if (m != n ||
        !std::equal(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(n), right.begin())) {
      return false;
    }
    if (n == 0) return second->Read(right.data(), 1) == 0;
  }
}

int KindRow(const FileKind* kind) { return static_cast<int>(kind - FileKinds().data()); }

struct ReadFile {
  const CollectedFile* file;
  uint64_t bytes;
  uint64_t hash;
};

}  // namespace

bool Triage(const std::filesystem::path& path, const std::string& shown_as, const RunLimits& limits,
            Outcome& outcome, std::string& error) {
  auto collection = OpenCollection(
      path, error, limits.zip,
      limits.follow_link ? velmora::files::Links::Follow : velmora::files::Links::Refuse);
  if (!collection) return false;
  outcome = TriageCollection(*collection, shown_as, limits);
  return true;
}

Outcome TriageCollection(Collection& given, const std::string& shown_as, const RunLimits& limits) {
  Collection* collection = &given;
  std::vector<FileAnswer> answers;
  std::vector<ReadFile> read;
  std::vector<Finding> notes;
  std::vector<const FileKind*> present;
  BatchStore store(limits.window);

  std::size_t wanted = 0;
  std::size_t opened = 0;
  for (const CollectedFile& file : collection->files()) {
    const FileKind* kind = KindByName(file.name);
    if (kind == nullptr && collection->single_file()) kind = SniffKind(*collection, file);
    if (kind == nullptr) continue;
    if (++wanted > limits.max_files) continue;
    present.push_back(kind);
    std::string problem;
    std::unique_ptr<ByteStream> stream = collection->Open(file, problem);
    if (!stream) {
      notes.push_back(
          MakeFinding("input.unreadable-file", file.name,
                      Say("input.unreadable-file", {{"file", file.name}, {"why", problem}})));
      continue;
    }
    ++opened;
    try {
      std::unique_ptr<Reader> reader = kind->make_reader(file.name);
      Pumped pumped = Pump(*stream, *reader, file.name, limits.max_line_bytes, store,
                           limits.read_ahead ? kInlineBytes : kNeverAhead);
      for (Finding& note : pumped.input) notes.push_back(std::move(note));
      // The same bytes under another name (a rollback log copied from a
      // package log) are one file, read once.
      // Each file is compared with the first one of its size and hash
      // alone: however many names one content has, each costs one
      // comparison, and a crafted collision counts as another file.
      std::size_t same = read.size();
      for (std::size_t i = 0; i < read.size(); ++i) {
        if (read[i].bytes == pumped.bytes && read[i].hash == pumped.hash) {
          if (SameBytes(*collection, *read[i].file, file)) same = i;
          break;
        }
      }
      if (same < read.size()) {
        // Read as the package's own log rather than as its rollback copy,
        // whichever name sorts first.
        const CollectedFile* kept = read[same].file;
        const CollectedFile* copy = &file;
        if (ContainsNoCase(kept->name, "rollback") && !ContainsNoCase(file.name, "rollback")) {
          std::swap(kept, copy);
          read[same].file = kept;
          answers[same] = {file.name, pumped.hash, KindRow(kind), file.modified,
                           std::move(pumped.result)};
        }
        notes.push_back(
            MakeFinding("input.duplicate", copy->name,
                        Say("input.duplicate", {{"file", copy->name}, {"kept", kept->name}})));
        continue;
      }
      read.push_back({&file, pumped.bytes, pumped.hash});
      answers.push_back(
          {file.name, pumped.hash, KindRow(kind), file.modified, std::move(pumped.result)});
    } catch (const std::exception& e) {
      notes.push_back(
          MakeFinding("input.reader-failed", file.name,
                      Say("input.reader-failed", {{"file", file.name}, {"why", e.what()}})));
    }
  }
  if (wanted > limits.max_files) {
    notes.push_back(MakeFinding(
        "input.too-many-files", "",
        Say("input.too-many-files",
            {{"count", std::to_string(wanted)}, {"most", std::to_string(limits.max_files)}})));
  }
  // The files a collected folder should hold, each kind a row of the table.
  if (!collection->single_file()) {
    for (const FileKind& kind : FileKinds()) {
      if (kind.missing_rule == nullptr) continue;
      if (std::find(present.begin(), present.end(), &kind) != present.end()) continue;
      notes.push_back(MakeFinding(kind.missing_rule, "", RuleById(kind.missing_rule).detects));
    }
  }
  for (const InputProblem& problem : collection->problems()) {
    notes.push_back(InputFinding(problem));
  }
  return Judge(shown_as, std::move(answers), std::move(notes), opened);
}

}  // namespace triage
