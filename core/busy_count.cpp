#include "core/busy_count.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/clock.h"

namespace stellacq {

void CalibratedBusyCount::count(std::int64_t count) {
  if (count <= 0) return;
  const std::int64_t end = clock_.monotonic_us() + count;
  while (clock_.monotonic_us() < end) {
  }
}

void CalibratedBusyCount::count_while(std::int64_t count, const Between& between) {
  // `between` runs about every this many microseconds, but not in the last
  // stretch before the end, where a slow call would lengthen the count; the
  // last moment is spun, since a sleep may overshoot by a scheduler tick.
  constexpr std::int64_t kBetweenUs = 10'000;
  constexpr std::int64_t kQuietEndUs = 20'000;
  constexpr std::int64_t kSpinUs = 2'000;
  const std::int64_t start = clock_.monotonic_us();
  const std::int64_t end = start + std::max<std::int64_t>(count, 0);
  for (;;) {
    const std::int64_t now = clock_.monotonic_us();
    if (between && end - now > kQuietEndUs) between(now - start);
    const std::int64_t left = end - clock_.monotonic_us();
    if (left <= kSpinUs) break;
    std::this_thread::sleep_for(std::chrono::microseconds(std::min(left - kSpinUs, kBetweenUs)));
  }
  while (clock_.monotonic_us() < end) {
  }
  if (between) between(end - start);
}

}  // namespace stellacq
