// --queue DIR: every ticket of a support queue, the outputs asked for, a
// table of the top failure signatures on standard output, progress on a
// terminal's standard error.
#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "outcome.h"
#include "output/page_place.h"
#include "platform/terminal.h"
#include "queue_run.h"

namespace triage {
namespace {

namespace fs = std::filesystem;

// "1200/2000 tickets, 41.3 a second, 0:19 left", over itself.
class Progress {
 public:
  void operator()(std::size_t done, std::size_t total) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const long left = rate > 0 ? static_cast<long>((total - done) / rate) : 0;
    char line[96];
    std::snprintf(line, sizeof line, "%zu/%zu tickets, %.1f a second, %ld:%02ld left  ", done,
                  total, rate, left / 60, left % 60);
    velmora::terminal::ShowProgress(line, done == total);
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Whether two names lead to one file: by their resolved paths, links and
// ".." followed, or, when both exist, by the file itself (a hard link).
bool SameDestination(const fs::path& a, const fs::path& b) {
  std::error_code ec, ec2;
  const fs::path left = fs::weakly_canonical(fs::absolute(a, ec), ec);
  const fs::path right = fs::weakly_canonical(fs::absolute(b, ec2), ec2);
  if (!ec && !ec2 && left == right) return true;
  return fs::exists(a, ec) && fs::exists(b, ec2) && fs::equivalent(a, b, ec);
}

}  // namespace

int TriageQueue(const Options& options) {
  QueueOptions queue;
  queue.folder = fs::u8path(options.path);
  queue.shown = options.path;
  // No output may lie inside the queue's folder: the tickets are evidence.
  const std::pair<const std::optional<std::string>*, std::optional<fs::path>*> outputs[] = {
      {&options.jsonl, &queue.jsonl},
      {&options.csv, &queue.csv},
      {&options.html, &queue.html},
      {&options.pages, &queue.pages}};
  for (const auto& [given, path] : outputs) {
    if (!*given) continue;
    *path = fs::u8path(**given);
    // A folder of pages is checked as a page in it would be.
    const fs::path checked = given == &options.pages ? **path / "page.html" : **path;
    const std::string refusal = PageRefusal(queue.folder, checked);
    if (!refusal.empty()) {
      Say("will not write to " + **given + ": " + refusal + " (DIR is never written)");
      return kUnreadable;
    }
  }
  // Two outputs leading to one file would silently replace each other.
  const std::pair<const char*, const std::optional<std::string>*> files[] = {
      {"--jsonl", &options.jsonl}, {"--csv", &options.csv}, {"--html", &options.html}};
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = i + 1; j < 3; ++j) {
      if (*files[i].second && *files[j].second &&
          SameDestination(fs::u8path(**files[i].second), fs::u8path(**files[j].second))) {
        Say(std::string("will not write ") + files[i].first + " and " + files[j].first +
            " to one file, " + **files[j].second);
        return kUnreadable;
      }
    }
  }
  queue.jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  Progress progress;
  if (velmora::terminal::StderrIsTerminal()) queue.progress = std::ref(progress);
  const QueueResult result = RunQueue(queue, RunLimits{});
  if (!result.listed) {
    Say("cannot read " + options.path + ": " + result.problems);
    return kUnreadable;
  }
  const bool printed =
      velmora::terminal::WriteStdout("Queue: " + TerminalSafe(options.path) + "\n" + result.table);
  std::size_t from = 0;
  for (std::size_t end; (end = result.problems.find('\n', from)) != std::string::npos;
       from = end + 1) {
    Say(result.problems.substr(from, end - from));
  }
  if (!printed) {
    Say("standard output could not be written");
    return kStdoutNotWritten;
  }
  if (!result.problems.empty()) return kFileNotWritten;
  return result.unreadable > 0 ? kErrorFound : kNoError;
}

}  // namespace triage
