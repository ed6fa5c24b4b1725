// The simulated mount's axes: the time each motion runs, the drift left
// uncorrected, and a slew.
#include "sim/mount_axes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace stellacq {
namespace {

constexpr double kGuideDegPerS = 0.5 * sim::kSiderealArcsecPerS / 3600;

sim::MountAxesOptions steady() {
  sim::MountAxesOptions o;
  o.periodic_error_arcsec = 0;
  o.dec_drift_arcsec_per_s = 0;
  return o;
}

std::vector<std::int64_t> times(sim::MountAxes& axes) {
  const sim::MoveTimes t = axes.move_times();
  return {t.north_us, t.south_us, t.east_us, t.west_us};
}

// Moves held and let go at different times, a pulse read while it runs and
// cut short by a stop: each counts its own time and moves by it.
TEST(MountAxes, CountsEachMotionUntilItStops) {
  ManualClock clock;
  sim::MountAxes axes(clock, 83.82, -5.39, steady());
  axes.move(sim::Toward::North, true);
  axes.move(sim::Toward::East, true);
  clock.advance_us(2'000'000);
  axes.move(sim::Toward::North, false);
  clock.advance_us(1'000'000);
  axes.move(sim::Toward::East, false);
  axes.move(sim::Toward::South, true);
  axes.pulse(sim::Toward::West, 1000);
  clock.advance_us(250'000);
  EXPECT_EQ(times(axes), std::vector<std::int64_t>({2'000'000, 250'000, 3'000'000, 250'000}));
  clock.advance_us(250'000);
  axes.stop();
  clock.advance_us(5'000'000);  // stopped: no more motion
  EXPECT_EQ(times(axes), std::vector<std::int64_t>({2'000'000, 500'000, 3'000'000, 500'000}));
  EXPECT_NEAR(axes.dec_deg(), -5.39 + 1.5 * kGuideDegPerS, 1e-9);
  EXPECT_NEAR(axes.ra_deg(), 83.82 + 2.5 * kGuideDegPerS, 1e-9);
}

TEST(MountAxes, DriftsWhenNotCorrected) {
  ManualClock clock;
  sim::MountAxes axes(clock, 83.82, -5.39);  // 4" periodic error over 480 s, 0.01"/s in declination
  const double cos_dec = std::cos(-5.39 * 3.14159265358979 / 180);
  clock.advance_us(120'000'000);  // a quarter turn of the worm: the largest swing
  EXPECT_NEAR((axes.ra_deg() - 83.82) * 3600 * cos_dec, 4.0, 0.01);
  EXPECT_NEAR((axes.dec_deg() + 5.39) * 3600, 1.2, 0.01);
  clock.advance_us(240'000'000);  // three quarters: the other way
  EXPECT_NEAR((axes.ra_deg() - 83.82) * 3600 * cos_dec, -4.0, 0.01);
}

// 3 degrees a second on both axes at once; the short way round through 0h;
// a stop ends a slew where it is, and so does a sync.
TEST(MountAxes, SlewsAtTheSlewingRateTheShortWayRound) {
  ManualClock clock;
  sim::MountAxes axes(clock, 83.82, -5.39, steady());
  axes.slew_to(83.82 + 1.0, -5.39 + 6.0);
  clock.advance_us(1'500'000);
  EXPECT_TRUE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 83.82 + 1.0, 1e-9);
  EXPECT_NEAR(axes.dec_deg(), -5.39 + 4.5, 1e-9);
  clock.advance_us(500'000);
  EXPECT_FALSE(axes.slewing());
  EXPECT_NEAR(axes.dec_deg(), -5.39 + 6.0, 1e-9);

  axes.slew_to(358.75, 0.61);
  clock.advance_us(1'000'000);
  EXPECT_NEAR(axes.ra_deg(), 83.82 + 1.0 - 3.0, 1e-9);
  axes.stop();
  clock.advance_us(1'000'000);
  EXPECT_FALSE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 83.82 + 1.0 - 3.0, 1e-9);

  axes.slew_to(10.0, 0.61);
  axes.sync(200.0, 20.0);
  clock.advance_us(1'000'000);
  EXPECT_FALSE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 200.0, 1e-9);
  EXPECT_NEAR(axes.dec_deg(), 20.0, 1e-9);
}

}  // namespace
}  // namespace stellacq
