// The one yielding wait. Series pacing, the program-shooting countdown, the
// settling after a guiding correction and the progress of a long exposure
// all wait the same way: hand control to the event queue, let the processor
// rest a moment, then test whether a stop was given and whether the awaited
// moment has come. Stop commands run inside those yields (they are menu
// handlers) and only set the flags that `stopped` reads.
//
// Every pass yields before it tests, so a wait always lets pending commands
// run at least once, even when its moment has already come.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace stellacq {

class Clock;
class Interaction;

enum class WaitEnd {
  Reached,  // the awaited moment came
  Stopped,  // `stopped` answered true first
};

using StopTest = std::function<bool()>;

// Passes until `reached()`; `stopped()` (when given) is tested first at
// every pass.
WaitEnd wait_until(Interaction& ui, const std::function<bool()>& reached, const StopTest& stopped = {});

// Until the clock's time of day (hh:mm:ss) differs from its text at the
// start: the next change of the clock's second, which is more than 0 and at
// most 1 second away on a running clock.
WaitEnd wait_second_change(Clock& clock, Interaction& ui, const StopTest& stopped = {});

// Until `us` microseconds have passed on the monotonic clock.
WaitEnd wait_for_us(Clock& clock, Interaction& ui, std::int64_t us, const StopTest& stopped = {});

// Counts the handlers running on the window's thread for as long as it
// lives. The window ends the program at once when it is closed while the
// count is above zero, since a handler still running would otherwise carry
// on after the window has gone.
class RunningHandler {
 public:
  explicit RunningHandler(int& count) : count_(count) { ++count_; }
  ~RunningHandler() { --count_; }
  RunningHandler(const RunningHandler&) = delete;
  RunningHandler& operator=(const RunningHandler&) = delete;

 private:
  int& count_;
};

}  // namespace stellacq
