#include "attempt_order.h"

#include <algorithm>
#include <cstdlib>

#include "rules/text.h"

namespace triage {
namespace {

constexpr int64_t kHalfDay = 12 * 3600;

// A clock that shows the hour modulo 12 is put in the half of the day that
// brings the log's last time nearest the file's own time (the log was
// written until then); a file time half a day or more from either is no
// witness.
void SettleHalfDay(FileAnswer& file) {
  if (!file.modified) return;
  for (std::size_t a = 0; a < file.result.attempts.size(); ++a) {
    Attempt& attempt = file.result.attempts[a];
    if (!attempt.twelve_hour || !attempt.time) continue;
    // The log's last time, unless it lies hours after its start: then one
    // stray line could move the whole attempt by half a day, and the start
    // tells as well.
    const int64_t end = attempt.end.value_or(*attempt.time);
    const int64_t last = end - *attempt.time <= kHalfDay / 2 ? end : *attempt.time;
    const int64_t morning = std::llabs(*file.modified - last);
    const int64_t afternoon = std::llabs(*file.modified - (last + kHalfDay));
    if (afternoon >= morning || afternoon > kHalfDay / 2) continue;
    *attempt.time += kHalfDay;
    if (attempt.end) *attempt.end += kHalfDay;
    for (Finding& finding : file.result.findings) {
      if (finding.attempt == static_cast<int>(a) && finding.time) *finding.time += kHalfDay;
    }
  }
}

bool SameName(const std::string& a, const std::string& b) {
  return a.empty() || b.empty() || EqualsNoCase(a, b);
}

}  // namespace

int AttemptOrder::Position(std::size_t file, int index) const {
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i].file == file && order[i].index == index) return static_cast<int>(i);
  }
  return -1;
}

bool AttemptOrder::Current(int position) const {
  return position >= 0 && (position == newest || order[position].parent == newest);
}

AttemptOrder OrderAttempts(std::vector<FileAnswer>& files) {
  for (FileAnswer& file : files) SettleHalfDay(file);
  AttemptOrder placed;
  std::vector<Placed>& order = placed.order;
  for (std::size_t f = 0; f < files.size(); ++f) {
    const auto& attempts = files[f].result.attempts;
    for (std::size_t a = 0; a < attempts.size(); ++a) {
      order.push_back({&attempts[a], f, static_cast<int>(a), -1});
    }
  }
  // Attempts no clock places come first, so that any attempt with a time is
  // newer. A bundle comes before the packages it starts in the same second;
  // the rest is settled by the files' bytes, never their names.
  std::stable_sort(order.begin(), order.end(), [&](const Placed& a, const Placed& b) {
    const Attempt& x = *a.attempt;
    const Attempt& y = *b.attempt;
    if (x.time.has_value() != y.time.has_value()) return !x.time.has_value();
    if (x.time != y.time) return *x.time < *y.time;
    if (x.bundle != y.bundle) return x.bundle;
    if (files[a.file].identity != files[b.file].identity) {
      return files[a.file].identity < files[b.file].identity;
    }
    return a.index < b.index;
  });
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Attempt& attempt = *order[i].attempt;
    if (attempt.bundle || !attempt.time) continue;
    for (std::size_t b = 0; b < i; ++b) {
      const Attempt& bundle = *order[b].attempt;
      if (bundle.bundle && bundle.time && bundle.end && *bundle.time <= *attempt.time &&
          *attempt.time <= *bundle.end) {
        order[i].parent = static_cast<int>(b);
      }
    }
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i].parent < 0) placed.newest = static_cast<int>(i);
  }
  if (placed.newest >= 0) {
    Attempt& newest = placed.newest_attempt.emplace(*order[placed.newest].attempt);
    for (const Placed& child : order) {
      if (newest.version.empty() && child.parent == placed.newest &&
          SameName(child.attempt->product, newest.product)) {
        newest.version = child.attempt->version;
      }
    }
  }
  return placed;
}

}  // namespace triage
