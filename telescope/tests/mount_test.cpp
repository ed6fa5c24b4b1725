// The simulated mount: its LX200 replies, their pace on the line, the guide
// rate, the drift left uncorrected, and the stars of the next frame shifted
// by a timed move of the program.
#include "sim/mount.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "camera/connection.h"
#include "camera/operations.h"
#include "program/parts.h"
#include "telescope/mount_link.h"
#include "telescope/telescope.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr double kCharUs = 10.0e6 / 9600;

sim::MountOptions steady() {
  sim::MountOptions o;
  o.periodic_error_arcsec = 0;
  o.dec_drift_arcsec_per_s = 0;
  return o;
}

TEST(SimMount, RepliesInLx200Form) {
  struct Case {
    double ra_deg, dec_deg;
    const char* ra;
    const char* dec;
  };
  const Case cases[] = {
      {83.82, -5.39, "05:35:17#", "-05*23'24#"},       {0.0, 0.0, "00:00:00#", "+00*00'00#"},
      {359.99999, -0.0001, "00:00:00#", "+00*00'00#"},  // rounding carries; no "-0"
      {187.5, 89.999999, "12:30:00#", "+90*00'00#"},   {-15.0, -90.0, "23:00:00#", "-90*00'00#"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sim::Mount::ra_reply(c.ra_deg), c.ra);
    EXPECT_EQ(sim::Mount::dec_reply(c.dec_deg), c.dec);
  }
}

TEST(SimMount, AnswersOneCharacterPerTenBitTimes) {
  ManualClock clock;
  sim::Mount mount(clock, 83.82, -5.39, steady());
  mount.receive("#:GR#\r\n#:GD#\r\n");  // two queries at once: the second reply queues behind the first
  EXPECT_EQ(mount.take_output(), "");
  clock.advance_us(static_cast<std::int64_t>(kCharUs) + 1);
  EXPECT_EQ(mount.take_output(), "0");
  clock.advance_us(static_cast<std::int64_t>(8 * kCharUs));
  EXPECT_EQ(mount.take_output(), "5:35:17#");
  clock.advance_us(static_cast<std::int64_t>(10 * kCharUs) + 1);
  EXPECT_EQ(mount.take_output(), "-05*23'24#");
  mount.receive(":Mn#:Xx#");  // a move and an unknown command: no reply
  clock.advance_us(100'000);
  EXPECT_EQ(mount.take_output(), "");

  mount.options().powered = false;
  mount.receive("#:GR#\r\n");
  clock.advance_us(100'000);
  EXPECT_EQ(mount.take_output(), "");
}

TEST(SimMount, MovesAtTheGuideRateWhileAMoveRuns) {
  ManualClock clock;
  sim::Mount mount(clock, 83.82, -5.39, steady());
  const double rate_deg_per_s = 0.5 * sim::kSiderealArcsecPerS / 3600;
  mount.receive("#:Mn#\r\n#:Me#\r\n");
  clock.advance_us(2'000'000);
  mount.receive("#:Qn#\r\n");
  clock.advance_us(1'000'000);
  mount.receive("#:Qe#\r\n#:Ms#\r\n");
  clock.advance_us(500'000);
  mount.receive("#:Q#\r\n");
  clock.advance_us(5'000'000);  // stopped: no more motion
  EXPECT_NEAR(mount.dec_deg(), -5.39 + 1.5 * rate_deg_per_s, 1e-9);
  EXPECT_NEAR(mount.ra_deg(), 83.82 + 3.0 * rate_deg_per_s, 1e-9);
  const sim::MoveTimes t = mount.move_times();
  EXPECT_EQ(std::vector<std::int64_t>({t.north_us, t.south_us, t.east_us, t.west_us}),
            std::vector<std::int64_t>({2'000'000, 500'000, 3'000'000, 0}));
}

TEST(SimMount, DriftsWhenNotCorrected) {
  ManualClock clock;
  sim::Mount mount(clock, 83.82, -5.39);  // 4" periodic error over 480 s, 0.01"/s in declination
  const double cos_dec = std::cos(-5.39 * 3.14159265358979 / 180);
  clock.advance_us(120'000'000);  // a quarter turn of the worm: the largest swing
  EXPECT_NEAR((mount.ra_deg() - 83.82) * 3600 * cos_dec, 4.0, 0.01);
  EXPECT_NEAR((mount.dec_deg() + 5.39) * 3600, 1.2, 0.01);
  clock.advance_us(240'000'000);  // three quarters: the other way
  EXPECT_NEAR((mount.ra_deg() - 83.82) * 3600 * cos_dec, -4.0, 0.01);
}

// A timed move of the program through the simulated line moves the sky of
// the next exposure by guide rate x time, seen at 1.5" a pixel. The frame
// shows east to the left and north up, so each move carries the stars the
// way a guiding correction with both axes in normal direction needs: a star
// right of its place comes back with move right, one above it with move up.
TEST(SimObservatory, TimedMovesShiftTheStarsOfTheNextFrame) {
  struct Row {
    Direction direction;
    const char* commands;
    double star_dx, star_dy;  // pixels per pixel-equivalent of move time
  };
  const Row rows[] = {
      {Direction::Right, "#:Mw#\r\n#:Qw#\r\n", -1, 0},
      {Direction::Left, "#:Me#\r\n#:Qe#\r\n", 1, 0},
      {Direction::Up, "#:Mn#\r\n#:Qn#\r\n", 0, 1},
      {Direction::Down, "#:Ms#\r\n#:Qs#\r\n", 0, -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.commands);
    sim::ObservatoryOptions options = testing::SimWorld::default_options();
    options.mount = steady();
    testing::SimWorld w(options);
    camera_menu_link_sumi_Click(w.p);
    const auto brightest = [&] {
      sim::ExposureSetup setup;  // TX-22, no binning: 1.5" a pixel
      std::vector<sim::StarImage> stars = w.observatory.sky().stars_in_field(setup);
      const auto star = std::max_element(
          stars.begin(), stars.end(), [](const auto& a, const auto& b) { return a.adu_per_s < b.adu_per_s; });
      return star == stars.end() ? std::pair(std::nan(""), std::nan("")) : std::pair(star->x, star->y);
    };
    ASSERT_TRUE(testing::exchange(w, "N 1 1"));
    ASSERT_TRUE(testing::exchange(w, "V"));
    const auto before = brightest();

    w.p.settings.x_tracking_factor = w.p.settings.y_tracking_factor = 100'000;  // 0.1 s a pixel of amount
    ASSERT_TRUE(open_link_for_guiding(w.p.mount, w.p.telescope, w.p.settings.com_port, status_line(w.p)));
    EXPECT_EQ(timed_move(w.p.mount, w.p.settings, status_line(w.p), r.direction, 20), MoveEnd::Done);
    close_link_after_guiding(w.p.mount, w.p.telescope);
    EXPECT_EQ(w.observatory.mount().received(),
              std::string("#:Qn#\r\n#:Qs#\r\n#:Qe#\r\n#:Qw#\r\n") + r.commands);
    const sim::MoveTimes t = w.observatory.mount().move_times();
    EXPECT_EQ(t.north_us + t.south_us + t.east_us + t.west_us, 2'000'001);

    EXPECT_EQ(brightest(), before);  // the sky moves when an exposure ends
    ASSERT_TRUE(testing::exchange(w, "V"));
    const auto after = brightest();
    // Right ascension moves by guide rate x time, which on the sky is
    // shorter by cos(declination).
    const double arcsec = 0.5 * sim::kSiderealArcsecPerS * 2.000001;
    const double cos_dec = std::cos(5.39 * 3.14159265358979 / 180);
    EXPECT_NEAR(after.first - before.first, r.star_dx * arcsec * cos_dec / 1.5, 0.01);  // about 10 pixels
    EXPECT_NEAR(after.second - before.second, r.star_dy * arcsec / 1.5, 0.01);
  }
}

}  // namespace
}  // namespace stellacq
