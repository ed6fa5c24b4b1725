// The simulated sky: a star field fixed to the sky, images that follow it.
#include "sim/sky.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace stellacq::sim {
namespace {

ExposureSetup setup_full() {
  ExposureSetup s;
  s.sensor_width = 1536;
  s.sensor_height = 1024;
  s.arcsec_per_pixel = 1.5;
  s.seconds = 10;
  return s;
}

TEST(SimSky, FieldIsDeterministicAndMovesWithThePointing) {
  Sky sky;
  const std::vector<StarImage> a = sky.stars_in_field(setup_full());
  ASSERT_GT(a.size(), 40u);
  ASSERT_LT(a.size(), 1000u);
  EXPECT_EQ(sky.stars_in_field(setup_full()).size(), a.size());

  // 15 arcseconds north: every star moves 10 pixels down the frame.
  sky.set_pointing(sky.ra_deg(), sky.dec_deg() + 15.0 / 3600.0);
  const std::vector<StarImage> b = sky.stars_in_field(setup_full());
  int matched = 0;
  for (const StarImage& s : a) {
    for (const StarImage& t : b) {
      if (s.adu_per_s == t.adu_per_s) {
        EXPECT_NEAR(t.x, s.x, 0.05);
        EXPECT_NEAR(t.y - s.y, 10.0, 0.05);
        ++matched;
      }
    }
  }
  EXPECT_GT(matched, static_cast<int>(a.size()) * 8 / 10);
}

TEST(SimSky, StarLightLandsWhereTheStarIs) {
  SkyConditions c;
  c.read_noise_adu = 0;
  c.sky_adu_per_s = 0;
  c.dark_adu_per_s_at_20c = 0;
  c.hot_pixels = 0;
  Sky sky(c);
  ExposureSetup s = setup_full();
  s.seconds = 0.01;  // short: no star saturates
  std::vector<std::uint16_t> frame;
  sky.render(s, frame);
  ASSERT_EQ(frame.size(), 1536u * 1024u);
  // The brightest star's centre pixel is the local maximum of the image.
  std::vector<StarImage> stars = sky.stars_in_field(s);
  const auto brightest =
      *std::max_element(stars.begin(), stars.end(),
                        [](const StarImage& a, const StarImage& b) { return a.adu_per_s < b.adu_per_s; });
  const int cx = static_cast<int>(brightest.x), cy = static_cast<int>(brightest.y);
  const int centre = frame[cy * 1536 + cx];
  EXPECT_GT(centre, 1000 + 10);
  for (int dy = -3; dy <= 3; ++dy)
    for (int dx = -3; dx <= 3; ++dx) {
      const int x = cx + dx, y = cy + dy;
      if (x < 0 || y < 0 || x >= 1536 || y >= 1024) continue;
      EXPECT_LE(frame[y * 1536 + x], centre + 1);
    }
}

TEST(SimSky, BinningSumsFourPixelsAndClipsAtFullScale) {
  SkyConditions c;
  c.read_noise_adu = 0;
  c.hot_pixels = 0;
  c.sky_adu_per_s = 1000;
  c.dark_adu_per_s_at_20c = 0;
  c.stars_per_square_degree = 0;
  Sky sky(c);
  ExposureSetup s = setup_full();
  s.seconds = 1;
  s.binning = 2;
  std::vector<std::uint16_t> frame;
  sky.render(s, frame);
  ASSERT_EQ(frame.size(), 768u * 512u);
  double sum = 0;
  for (std::uint16_t v : frame) sum += v;
  EXPECT_NEAR(sum / frame.size(), 1000 + 4 * 1000, 5);  // bias once, charge of four pixels

  s.seconds = 100;  // 400000 ADU of charge: clipped
  sky.render(s, frame);
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](std::uint16_t v) { return v == 65535; }));
}

TEST(SimSky, ReadNoiseHasItsWidth) {
  SkyConditions c;
  c.sky_adu_per_s = 0;
  c.dark_adu_per_s_at_20c = 0;
  c.hot_pixels = 0;
  c.read_noise_adu = 10;
  Sky sky(c);
  ExposureSetup s = setup_full();
  s.dark = true;
  std::vector<std::uint16_t> frame;
  sky.render(s, frame);
  double sum = 0, sq = 0;
  for (std::uint16_t v : frame) {
    sum += v;
    sq += static_cast<double>(v) * v;
  }
  const double mean = sum / frame.size();
  const double sd = std::sqrt(sq / frame.size() - mean * mean);
  EXPECT_NEAR(mean, 1000, 0.2);
  EXPECT_NEAR(sd, std::sqrt(100 + 1.0 / 12), 0.2);  // plus rounding to whole ADU
}

}  // namespace
}  // namespace stellacq::sim
