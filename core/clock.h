// Clock seam: the PC's local date and time of day, read field by field, and
// a monotonic time for bounded waits, and a rest of the calling thread for
// waits that need not poll without pause. The real clock reads the system
// and sleeps; tests and the simulated observatory use ManualClock, whose
// rest moves its monotonic time instead.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace stellacq {

struct LocalDateTime {
  int year = 1998;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Local civil time; one call gives one consistent reading.
  virtual LocalDateTime local_now() = 0;
  // Monotonic time in microseconds from an arbitrary origin.
  virtual std::int64_t monotonic_us() = 0;
  // Lets the calling thread rest about `us` microseconds.
  virtual void sleep_us(std::int64_t us) = 0;
};

class SystemClock final : public Clock {
 public:
  LocalDateTime local_now() override;
  std::int64_t monotonic_us() override;
  void sleep_us(std::int64_t us) override;
};

// A clock that only moves when told to. Each monotonic reading also advances
// it by `auto_step_us`, so that a bounded wait polling a silent device still
// reaches its limit in a test without real time passing. A rest moves it by
// the time rested and tells `on_sleep`, so that a test world whose devices
// keep a clock of their own lets that time pass for them too.
class ManualClock final : public Clock {
 public:
  LocalDateTime now_value;
  std::int64_t monotonic_value_us = 0;
  std::int64_t auto_step_us = 0;
  std::function<void(std::int64_t us)> on_sleep;

  LocalDateTime local_now() override { return now_value; }
  std::int64_t monotonic_us() override {
    monotonic_value_us += auto_step_us;
    return monotonic_value_us;
  }
  void sleep_us(std::int64_t us) override {
    monotonic_value_us += us;
    if (on_sleep) on_sleep(us);
  }
  void advance_us(std::int64_t us) { monotonic_value_us += us; }
};

// "yyyy-mm-dd" and "hh:mm:ss".
std::string date_text(const LocalDateTime& t);
std::string time_text(const LocalDateTime& t);

}  // namespace stellacq
