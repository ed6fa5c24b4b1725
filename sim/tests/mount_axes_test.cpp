// The simulated mount's axes where no command reaches them alone: the drift
// left uncorrected and a slew on its way. Their moves and pulses are tested
// through the commands that start them (lx200_controller_test.cpp).
#include "sim/mount_axes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace stellacq {
namespace {

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

// 3 degrees a second on both axes at once, each stopping at its target;
// the short way round through 0h; a stop ends a slew where it is, and so
// does a sync.
TEST(MountAxes, SlewsAtTheSlewingRateTheShortWayRound) {
  ManualClock clock;
  sim::MountAxes axes(clock, 83.82, -5.39, {.periodic_error_arcsec = 0, .dec_drift_arcsec_per_s = 0});
  axes.slew_to(358.75, -5.39 + 1.5);  // 23h55m
  clock.advance_us(1'000'000);
  EXPECT_TRUE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 83.82 - 3.0, 1e-9);
  EXPECT_NEAR(axes.dec_deg(), -5.39 + 1.5, 1e-9);
  axes.stop();
  clock.advance_us(1'000'000);
  EXPECT_FALSE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 83.82 - 3.0, 1e-9);

  axes.slew_to(83.82, -5.39);
  clock.advance_us(1'000'000);
  EXPECT_FALSE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 83.82, 1e-9);
  EXPECT_NEAR(axes.dec_deg(), -5.39, 1e-9);

  axes.slew_to(10.0, 0.61);
  axes.sync(200.0, 20.0);
  clock.advance_us(1'000'000);
  EXPECT_FALSE(axes.slewing());
  EXPECT_NEAR(axes.ra_deg(), 200.0, 1e-9);
  EXPECT_NEAR(axes.dec_deg(), 20.0, 1e-9);
}

}  // namespace
}  // namespace stellacq
