// The simulated observatory's mount on the program's serial line: the stars
// of the next frame shifted by a timed move of the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "camera/connection.h"
#include "camera/failure_text.h"
#include "sim/observatory.h"
#include "telescope/mount_link.h"
#include "telescope/telescope.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// A timed move of the program through the simulated line moves the sky of
// the next exposure by guide rate x time, seen at 1.5" a pixel. The frame
// shows east to the left and north up, so each move carries the stars the
// way a guiding correction with both axes in normal direction needs: a star
// right of its place comes back with move right, one above it with move up.
TEST(SimObservatory, TimedMovesShiftTheStarsOfTheNextFrame) {
  // The direction, and the stars' shift in pixels per pixel-equivalent of move time.
  const std::tuple<Direction, double, double> rows[] = {
      {Direction::Right, -1, 0}, {Direction::Left, 1, 0}, {Direction::Up, 0, 1}, {Direction::Down, 0, -1}};
  for (const auto& [direction, star_dx, star_dy] : rows) {
    SCOPED_TRACE(static_cast<int>(direction));
    sim::ObservatoryOptions options = testing::SimWorld::default_options();
    options.mount_axes.periodic_error_arcsec = 0;
    options.mount_axes.dec_drift_arcsec_per_s = 0;
    testing::SimWorld w(options);
    w.p.connection.camera_menu_link_sumi_Click();
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
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    EXPECT_EQ(w.p.telescope.timed_move(direction, 20), MoveEnd::Done);
    w.p.telescope.close_link_after_guiding();

    EXPECT_EQ(brightest(), before);  // the sky moves when an exposure ends
    ASSERT_TRUE(testing::exchange(w, "V"));
    const auto after = brightest();
    // Right ascension moves by guide rate x time, which on the sky is
    // shorter by cos(declination).
    const double arcsec = 0.5 * sim::kSiderealArcsecPerS * 2.000001;
    const double cos_dec = std::cos(5.39 * 3.14159265358979 / 180);
    EXPECT_NEAR(after.first - before.first, star_dx * arcsec * cos_dec / 1.5, 0.01);  // about 10 pixels
    EXPECT_NEAR(after.second - before.second, star_dy * arcsec / 1.5, 0.01);
  }
}

}  // namespace
}  // namespace stellacq
