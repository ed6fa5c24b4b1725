// Busy-count seam. Guiding corrections time a mount move with an empty
// counted loop; on this program a count of N always lasts N microseconds, so
// the tracking factors and repeat counts in the settings keep one meaning on
// every processor.
#pragma once

#include <cstdint>
#include <functional>

namespace stellacq {

class Clock;

class BusyCount {
 public:
  virtual ~BusyCount() = default;
  // Returns after `count` microseconds (nothing for a count of 0 or less).
  virtual void count(std::int64_t count) = 0;
  // The same count, calling `between` with the counts done so far every few
  // milliseconds meanwhile and once at its end, so that a long count (a
  // guiding move of up to a minute) can keep a window painted. The count
  // ends `count` microseconds after it began, however long `between` takes.
  using Between = std::function<void(std::int64_t counted)>;
  virtual void count_while(std::int64_t count, const Between& between) {
    this->count(count);
    if (between) between(count);
  }
};

// Spins on the monotonic clock, so the delay holds whatever the processor.
class CalibratedBusyCount final : public BusyCount {
 public:
  explicit CalibratedBusyCount(Clock& clock) : clock_(clock) {}
  void count(std::int64_t count) override;
  // Sleeps between the calls of `between` and spins only for the last
  // moment, so that a long count leaves the processor free.
  void count_while(std::int64_t count, const Between& between) override;

 private:
  Clock& clock_;
};

// Test double: records the counts and advances nothing by itself.
class RecordingBusyCount final : public BusyCount {
 public:
  std::int64_t total = 0;
  int calls = 0;
  // Called with every count: a test moves a simulated clock here or notes
  // the count among other events.
  std::function<void(std::int64_t)> on_count;
  void count(std::int64_t count) override {
    total += count;
    ++calls;
    if (on_count) on_count(count);
  }
};

}  // namespace stellacq
