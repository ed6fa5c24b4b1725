// The simulated sky: a star field fixed to the sky. Its levels, binning,
// saturation and noise are checked through the unit's frames and the
// exposure tests.
#include "sim/sky.h"

#include <gtest/gtest.h>

namespace stellacq::sim {
namespace {

TEST(SimSky, StarFieldIsFixedToTheSkyAndFollowsThePointing) {
  Sky sky;
  const ExposureSetup s;  // TX-22 at 1.5" a pixel
  const std::vector<StarImage> a = sky.stars_in_field(s);
  ASSERT_GT(a.size(), 40u);
  ASSERT_LT(a.size(), 1000u);
  // 15 arcseconds north: every star moves 10 pixels down the frame.
  sky.set_pointing(sky.ra_deg(), sky.dec_deg() + 15.0 / 3600.0);
  const std::vector<StarImage> b = sky.stars_in_field(s);
  int matched = 0;
  for (const StarImage& p : a)
    for (const StarImage& q : b)
      if (p.adu_per_s == q.adu_per_s) {
        EXPECT_NEAR(q.x, p.x, 0.05);
        EXPECT_NEAR(q.y - p.y, 10.0, 0.05);
        ++matched;
      }
  EXPECT_GT(matched, static_cast<int>(a.size()) * 8 / 10);
  // Pointing back brings the same field back.
  sky.set_pointing(sky.ra_deg(), sky.dec_deg() - 15.0 / 3600.0);
  EXPECT_EQ(sky.stars_in_field(s).size(), a.size());
}

}  // namespace
}  // namespace stellacq::sim
