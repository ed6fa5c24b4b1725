#include "core/busy_count.h"

#include "core/clock.h"

namespace stellacq {

void CalibratedBusyCount::count(std::int64_t count) {
  if (count <= 0) return;
  const std::int64_t end = clock_.monotonic_us() + count;
  while (clock_.monotonic_us() < end) {
  }
}

}  // namespace stellacq
