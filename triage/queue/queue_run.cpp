#include "queue_run.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "csv_row.h"
#include "overview.h"
#include "platform/output_file.h"
#include "tickets.h"

namespace triage {
namespace {

namespace fs = std::filesystem;

// What one ticket gives the outputs, made by a job, written in order.
struct Done {
  bool ready = false;
  TicketFacts facts;
  std::string json;
  std::string page_problem;
};

// A ticket's own page: its position and its name made safe for any file
// system, so that names never collide and never lead anywhere.
std::string PageName(std::size_t index, const std::string& ticket) {
  std::string safe;
  for (const char c : ticket) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    safe += plain ? c : '_';
    if (safe.size() >= 80) break;
  }
  char number[32];
  std::snprintf(number, sizeof number, "%05zu-", index + 1);
  return number + safe + ".html";
}

// The page's address from the overview, "/" between parts.
std::string LinkFrom(const std::optional<fs::path>& overview, const fs::path& page) {
  std::error_code ec;
  fs::path from = overview ? fs::absolute(*overview, ec).parent_path() : fs::current_path(ec);
  fs::path relative = fs::absolute(page, ec).lexically_relative(from);
  if (relative.empty()) relative = page;
  return relative.generic_u8string();
}

Done Process(std::size_t index, const Ticket& ticket, const QueueOptions& options,
             const RunLimits& limits) {
  Done done;
  done.facts.name = ticket.name;
  std::string error = ticket.refusal;
  try {
    Outcome outcome;
    if (error.empty() && Triage(ticket.path, ticket.name, limits, outcome, error)) {
      done.facts = FactsOf(ticket.name, outcome);
      done.json = JsonLine(outcome, ticket.name);
      if (options.pages) {
        const fs::path page = *options.pages / fs::u8path(PageName(index, ticket.name));
        if (velmora::files::WriteReplacing(page, HtmlReport(outcome), error)) {
          done.facts.page = LinkFrom(options.html, page);
        } else {
          done.page_problem = "cannot write the page of " + ticket.name + ": " + error;
        }
      }
      return done;
    }
  } catch (const std::exception& e) {
    error = std::string("stopped: ") + e.what();
  }
  done.facts.verdict = "unreadable";
  done.json = UnreadableJsonLine(ticket.name, error);
  return done;
}

// An output written as tickets come, replacing its file only once whole.
class Output {
 public:
  Output(const std::optional<fs::path>& path, const char* what, std::string& problems)
      : what_(what), problems_(problems) {
    if (!path) return;
    std::string error;
    file_ = velmora::files::ReplacingFile::Create(*path, error);
    if (!file_) problems_ += std::string("cannot write the ") + what + ": " + error + "\n";
  }
  void Write(const std::string& text) {
    if (file_) file_->Write(text);
  }
  void Close() {
    std::string error;
    if (file_ && !file_->Commit(error)) {
      problems_ += std::string("cannot write the ") + what_ + ": " + error + "\n";
    }
  }

 private:
  const char* what_;
  std::string& problems_;
  std::unique_ptr<velmora::files::ReplacingFile> file_;
};

}  // namespace

QueueResult RunQueue(const QueueOptions& options, const RunLimits& given) {
  QueueResult result;
  std::vector<Ticket> tickets;
  std::string error;
  if (!ListTickets(options.folder, tickets, error)) {
    result.problems = "the folder cannot be read (" + error + ")";
    return result;
  }
  result.listed = true;
  result.tickets = tickets.size();
  if (options.pages) {
    std::error_code ec;
    fs::create_directories(*options.pages, ec);
  }
  Output jsonl(options.jsonl, "JSON lines", result.problems);
  Output csv(options.csv, "spreadsheet", result.problems);
  csv.Write(CsvHeader());
  Overview overview;

  // Jobs run at most `window` tickets ahead of the one written next.
  const std::size_t jobs = std::max<std::size_t>(
      1, std::min<std::size_t>(options.jobs, std::max<std::size_t>(tickets.size(), 1)));
  const std::size_t window = jobs * 4;
  // Several jobs keep the cores busy already: no file of theirs adds a thread.
  RunLimits limits = given;
  limits.read_ahead = limits.read_ahead && jobs == 1;
  limits.follow_link = false;  // a ticket swapped for a link meanwhile is refused
  std::vector<Done> slots(window);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next_claim = 0;
  std::size_t next_write = 0;
  const auto work = [&]() {
    while (true) {
      std::size_t index = 0;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(
            lock, [&] { return next_claim >= tickets.size() || next_claim < next_write + window; });
        if (next_claim >= tickets.size()) return;
        index = next_claim++;
      }
      Done done = Process(index, tickets[index], options, limits);
      done.ready = true;
      std::lock_guard<std::mutex> lock(mutex);
      slots[index % window] = std::move(done);
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (std::size_t i = 0; i < jobs; ++i) workers.emplace_back(work);
  for (std::size_t index = 0; index < tickets.size(); ++index) {
    Done done;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return slots[index % window].ready; });
      done = std::move(slots[index % window]);
      slots[index % window].ready = false;
      next_write = index + 1;
      changed.notify_all();
    }
    jsonl.Write(done.json);
    csv.Write(CsvRow(done.facts));
    overview.Add(done.facts);
    if (!done.page_problem.empty()) result.problems += done.page_problem + "\n";
    if (options.progress) options.progress(index + 1, tickets.size());
  }
  for (std::thread& worker : workers) worker.join();
  jsonl.Close();
  csv.Close();
  if (options.html &&
      !velmora::files::WriteReplacing(*options.html, overview.Page(options.shown), error)) {
    result.problems += "cannot write the overview page: " + error + "\n";
  }
  result.unreadable = overview.unreadable();
  result.table = overview.Table();
  return result;
}

}  // namespace triage
