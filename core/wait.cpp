#include "core/wait.h"

#include "core/clock.h"
#include "core/interaction.h"

namespace stellacq {

WaitEnd wait_until(Interaction& ui, const std::function<bool()>& reached, const StopTest& stopped) {
  for (;;) {
    ui.idle();
    if (stopped && stopped()) return WaitEnd::Stopped;
    if (reached()) return WaitEnd::Reached;
  }
}

WaitEnd wait_second_change(Clock& clock, Interaction& ui, const StopTest& stopped) {
  const std::string start = time_text(clock.local_now());
  return wait_until(
      ui, [&] { return time_text(clock.local_now()) != start; }, stopped);
}

WaitEnd wait_for_us(Clock& clock, Interaction& ui, std::int64_t us, const StopTest& stopped) {
  const std::int64_t end = clock.monotonic_us() + us;
  return wait_until(
      ui, [&] { return clock.monotonic_us() >= end; }, stopped);
}

}  // namespace stellacq
