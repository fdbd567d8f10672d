// No single line may flip a failure into success. For every fixture case
// whose verdict is failed, each of its installer logs (its device-setup
// logs when it has none) is cut after every line, and has every line of
// the other fixtures appended in turn; the case is judged again in memory
// and must never come out succeeded. One line cut away or added cannot
// make a genuine later attempt that succeeds (that takes a log of its own),
// so no variant is excused but a cut that leaves the file no line of a log
// (it records no attempt at all; the other logs decide, as without it).
//
// velmora_triage_stability FIXTURES [STRIDE [CUT_STRIDE]]: every STRIDE-th
// appended line and every CUT_STRIDE-th cut (1, all of them, by default);
// exits 1 and names each variant that flipped.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "file_kinds.h"
#include "input/collection.h"
#include "rules/text.h"
#include "triage_run.h"

namespace fs = std::filesystem;

namespace triage {
namespace {

// A case's files, held in memory.
class MemoryCollection : public Collection {
 public:
  MemoryCollection(const std::vector<std::string>& names, const std::vector<std::string>& bytes,
                   const std::vector<std::optional<int64_t>>& times)
      : bytes_(bytes) {
    std::vector<std::pair<std::string, std::size_t>> listed;
    for (std::size_t i = 0; i < names.size(); ++i) listed.emplace_back(names[i], i);
    SetFiles(std::move(listed), times);
  }
  std::unique_ptr<ByteStream> Open(const CollectedFile& file, std::string&) override {
    return std::make_unique<MemoryInput>(bytes_[file.index]);
  }

 private:
  const std::vector<std::string>& bytes_;
};

struct Case {
  std::string name;
  std::vector<std::string> files;  // names
  std::vector<std::vector<std::string>> lines;
  std::vector<std::optional<int64_t>> times;
  std::string verdict;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// "2026-12-07T16:25:00" as seconds since 1970 of that local time.
int64_t LocalSeconds(const std::string& iso) {
  int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
  std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d", &y, &m, &d, &hh, &mm, &ss);
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return days * 86400 + hh * 3600 + mm * 60 + ss;
}

std::vector<Case> ReadCases(const fs::path& folder) {
  std::vector<Case> cases;
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (fs::is_regular_file(entry.path() / "expected.json")) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  for (const fs::path& path : folders) {
    std::ifstream expected_file(path / "expected.json");
    const nlohmann::json expected = nlohmann::json::parse(expected_file);
    Case c;
    c.name = path.filename().string();
    c.verdict = expected.value("verdict", "");
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(path)) {
      if (entry.is_regular_file() && entry.path().filename() != "expected.json") {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      const std::string name = file.filename().string();
      std::ifstream in(file, std::ios::binary);
      c.files.push_back(name);
      c.lines.push_back(Lines(std::string(std::istreambuf_iterator<char>(in), {})));
      const auto modified = expected.find("modified");
      std::string when = "2001-01-01T00:00:00";
      if (modified != expected.end() && modified->contains(name)) when = (*modified)[name];
      c.times.push_back(LocalSeconds(when));
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string Joined(const std::vector<std::string>& lines, std::size_t count,
                   const std::string* extra) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += lines[i] + "\r\n";
  if (extra != nullptr) text += *extra + "\r\n";
  return text;
}

bool IsInstallerLog(const std::string& name) {
  const FileKind* kind = KindByName(name);
  return kind != nullptr && std::string(kind->name) == "installer log";
}

}  // namespace
}  // namespace triage

int main(int argc, char** argv) {
  using namespace triage;
  if (argc < 2) {
    std::fprintf(stderr, "usage: velmora_triage_stability FIXTURES [STRIDE [CUT_STRIDE]]\n");
    return 2;
  }
  const std::size_t stride = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  const std::size_t cut_stride = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  const std::vector<Case> cases = ReadCases(argv[1]);
  RunLimits limits;
  limits.read_ahead = false;
  limits.window = 64 << 10;  // the fixtures are small: no megabyte windows a run
  std::size_t runs = 0, failed_cases = 0, excused = 0;
  std::vector<std::string> flipped;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t c = 0; c < cases.size(); ++c) {
    const Case& one = cases[c];
    if (one.verdict != "failed") continue;
    ++failed_cases;
    // The lines another fixture could add: each distinct one once.
    std::set<std::string> seen;
    std::vector<const std::string*> others;
    for (std::size_t o = 0; o < cases.size(); ++o) {
      if (o == c) continue;
      for (const auto& file : cases[o].lines) {
        for (const std::string& line : file) {
          if (seen.insert(line).second) others.push_back(&line);
        }
      }
    }
    std::vector<std::size_t> varied;
    for (std::size_t f = 0; f < one.files.size(); ++f) {
      if (IsInstallerLog(one.files[f])) varied.push_back(f);
    }
    if (varied.empty()) {
      for (std::size_t f = 0; f < one.files.size(); ++f) {
        if (KindByName(one.files[f]) != nullptr) varied.push_back(f);
      }
    }
    std::vector<std::string> bytes(one.files.size());
    for (std::size_t f = 0; f < one.files.size(); ++f) {
      bytes[f] = Joined(one.lines[f], one.lines[f].size(), nullptr);
    }
    const auto judge = [&](std::size_t f, const std::string& text, const std::string& what) {
      const std::string kept = bytes[f];
      bytes[f] = text;
      MemoryCollection collection(one.files, bytes, one.times);
      const Outcome outcome = TriageCollection(collection, one.name, limits);
      bytes[f] = kept;
      ++runs;
      if (outcome.verdict != Verdict::Succeeded) return;
      // Cut before its first line of a log, the file records nothing: the
      // other logs decide, as they would without it.
      const bool silent = std::none_of(outcome.attempts.begin(), outcome.attempts.end(),
                                       [&](const Attempt& a) { return a.file == one.files[f]; });
      if (silent && what.rfind("cut", 0) == 0) {
        ++excused;
      } else {
        flipped.push_back(one.name + ": " + one.files[f] + " " + what);
      }
    };
    for (const std::size_t f : varied) {
      const auto& lines = one.lines[f];
      for (std::size_t count = 1; count < lines.size(); count += cut_stride) {
        judge(f, Joined(lines, count, nullptr), "cut after line " + std::to_string(count));
      }
      for (std::size_t i = 0; i < others.size(); i += stride) {
        judge(f, Joined(lines, lines.size(), others[i]), "with \"" + *others[i] + "\" appended");
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "%zu failed cases, %zu variants judged in %.1f s, %zu turned succeeded (%zu cut before any "
      "line of a log, recording nothing)\n",
      failed_cases, runs, seconds, flipped.size(), excused);
  for (std::size_t i = 0; i < flipped.size() && i < 50; ++i) {
    std::printf("  %s\n", flipped[i].c_str());
  }
  return flipped.empty() && failed_cases > 0 ? 0 : 1;
}
