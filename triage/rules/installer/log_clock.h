// An installer log's own clock: its lines write only the time of day, its
// header the date, in the order the machine's locale writes dates.
#pragma once

#include <cstdint>
#include <optional>

#include "msi_grammar.h"

namespace triage {

class LogClock {
 public:
  // A header line: the first one gives the date and the time the log began.
  void Header(std::string_view header);
  // The time of a line that shows `clock` (seconds into the day), in
  // seconds since 1970 of local time; nothing before the header gave a
  // date. A clock far behind the last one means the log passed midnight.
  std::optional<int64_t> At(std::optional<int64_t> clock);
  std::optional<int64_t> start() const { return start_; }
  std::optional<int64_t> last() const { return last_; }
  // "01/12/2026" reads as January 12 until the log's end tells whose date
  // it is: the seconds to add to every time read, once the user's language
  // id (from the property dump) is known.
  int64_t Correction(std::optional<int64_t> language) const;

 private:
  int64_t parts_[3] = {0, 0, 0};
  bool ambiguous_ = false;           // read month first, though day first would do
  std::optional<int64_t> midnight_;  // of the day the log began
  std::optional<int64_t> start_;
  std::optional<int64_t> last_;
  int64_t last_clock_ = -1;
  int64_t day_offset_ = 0;
};

}  // namespace triage
