#include "core/wait.h"

#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/interaction.h"

namespace stellacq {
namespace {

// Ticks the manual clock's time of day by one second every `every` passes.
void tick_seconds(ManualClock& clock, ScriptedInteraction& ui, int every) {
  ui.on_idle = [&clock, &ui, every] {
    if (ui.idles % every != 0) return;
    LocalDateTime& t = clock.now_value;
    const int s = (t.hour * 3600 + t.minute * 60 + t.second + 1) % 86400;
    t.hour = s / 3600, t.minute = s / 60 % 60, t.second = s % 60;
  };
}

TEST(YieldingWait, EndsAtTheNextChangeOfTheClockSecondAndYieldsOnEveryPass) {
  ManualClock clock;
  clock.now_value = {2026, 12, 6, 23, 59, 59};
  ScriptedInteraction ui;
  tick_seconds(clock, ui, 7);
  EXPECT_EQ(wait_second_change(clock, ui), WaitEnd::Reached);
  EXPECT_EQ(std::tuple(ui.idles, ui.yields), std::tuple(7, 7));
  EXPECT_EQ(time_text(clock.now_value), "00:00:00");
}

TEST(YieldingWait, AStopGivenDuringAPassEndsTheWaitBeforeItsMoment) {
  ManualClock clock;
  ScriptedInteraction ui;
  bool stop = false;
  ui.on_yield = [&] {
    if (ui.yields == 3) stop = true;  // a stop command run inside the third yield
  };
  tick_seconds(clock, ui, 100);
  EXPECT_EQ(wait_second_change(clock, ui, [&] { return stop; }), WaitEnd::Stopped);
  EXPECT_EQ(ui.idles, 3);
}

TEST(YieldingWait, AStopWinsOverAMomentReachedInTheSamePass) {
  ScriptedInteraction ui;
  const auto yes = [] { return true; };
  EXPECT_EQ(wait_until(ui, yes, yes), WaitEnd::Stopped);
  // A moment already come still lets pending commands run once.
  EXPECT_EQ(wait_until(ui, yes), WaitEnd::Reached);
  EXPECT_EQ(ui.idles, 2);
}

TEST(YieldingWait, MonotonicWaitLastsAtLeastItsLength) {
  ManualClock clock;
  ScriptedInteraction ui;
  ui.on_idle = [&] { clock.advance_us(300'000); };
  EXPECT_EQ(wait_for_us(clock, ui, 1'000'000), WaitEnd::Reached);
  // 0.3 s each: 0.9 s is not yet enough.
  EXPECT_EQ(std::tuple(ui.idles, clock.monotonic_value_us), std::tuple(4, 1'200'000));
}

TEST(RunningHandler, CountsNestedHandlersAndUndoesItselfOnEveryExit) {
  int running = 0;
  {
    RunningHandler outer(running);
    try {
      RunningHandler inner(running);
      EXPECT_EQ(running, 2);
      throw 1;
    } catch (int) {
    }
    EXPECT_EQ(running, 1);
  }
  EXPECT_EQ(running, 0);
}

}  // namespace
}  // namespace stellacq
