// Star measurement on synthetic Gaussian stars on a noisy sky: widths,
// centroid, the star nearest the click, and nothing where there is no star.
#include "image/star_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <utility>

namespace stellacq {
namespace {

constexpr int kW = 200, kH = 150;
constexpr double kSky = 1000, kNoise = 20;

struct Field {
  std::unique_ptr<Frame> frame = std::make_unique<Frame>();
  std::mt19937 random{7};
  Field() {
    std::normal_distribution<double> noise(0, kNoise);
    frame->width = kW;
    frame->height = kH;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        frame->counts.at(x, y) = static_cast<std::int32_t>(std::lround(kSky + noise(random)));
  }
  // A Gaussian of full width `fwhm` and `peak` counts above the sky, its
  // value taken at each pixel centre.
  void star(double cx, double cy, double fwhm, double peak) {
    const double s = fwhm / 2.3548200450309493;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (r2 < 900)
          frame->counts.at(x, y) +=
              static_cast<std::int32_t>(std::lround(peak * std::exp(-r2 / (2 * s * s))));
      }
  }
  StarMeasurement at(double x, double y) const { return measure_star(frame->counts, kW, kH, x, y); }
};

TEST(StarMeasure, GaussianStarsOfTwoToEightPixels) {
  // Peak 3000 on a sky noise of 20, at uneven sub-pixel places; the click a
  // few pixels off the star.
  for (const double fwhm : {2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0}) {
    for (const double peak : {3000.0, 400.0}) {
      Field f;
      const double cx = 100.37, cy = 70.81;
      f.star(cx, cy, fwhm, peak);
      const StarMeasurement s = f.at(cx + 4.2, cy - 3.1);
      SCOPED_TRACE(testing::Message() << "FWHM " << fwhm << " peak " << peak << ": " << star_text(s));
      ASSERT_TRUE(s.found);
      EXPECT_NEAR(s.fwhm, fwhm, 0.05 * fwhm);
      EXPECT_NEAR(s.hfr, fwhm / 2, 0.05 * fwhm / 2);  // a Gaussian holds half its light within FWHM / 2
      EXPECT_NEAR(s.x, cx, 0.1);
      EXPECT_NEAR(s.y, cy, 0.1);
      EXPECT_NEAR(s.background, kSky, 2);
      EXPECT_NEAR(s.noise, kNoise, 2);
      EXPECT_NEAR(s.peak, kSky + peak, 4 * kNoise + 0.2 * peak);
    }
  }
}

TEST(StarMeasure, NearestStarAndNothingWhereThereIsNone) {
  Field f;
  f.star(50.2, 50.5, 3, 3000);
  f.star(61.0, 50.0, 3, 20000);          // brighter, but farther from the click
  f.frame->counts.at(150, 100) = 60000;  // a hot pixel
  const StarMeasurement near = f.at(54, 52);
  ASSERT_TRUE(near.found);
  EXPECT_NEAR(near.x, 50.2, 0.1);
  EXPECT_NEAR(near.y, 50.5, 0.1);
  EXPECT_EQ(star_text(near).substr(0, 14), "x 50.2 y 50.5 ");
  // Empty sky, a hot pixel, a star beyond the search box (8 pixels away),
  // a click outside the frame: no star.
  for (const auto& [x, y] : {std::pair(120.0, 30.0), std::pair(150.0, 100.0), std::pair(50.2, 42.0),
                             std::pair(-40.0, 20.0), std::pair(std::nan(""), 20.0)}) {
    const StarMeasurement none = f.at(x, y);
    EXPECT_FALSE(none.found) << x << " " << y << ": " << star_text(none);
    EXPECT_EQ(star_text(none), kNoStarText);
  }
  // A flat patch without any noise is no star either.
  Field flat;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) flat.frame->counts.at(x, y) = 1000;
  EXPECT_FALSE(flat.at(100, 70).found);
  // A star cut by the frame's corner is measured from what lies inside.
  Field corner;
  corner.star(1.0, 1.0, 3, 3000);
  const StarMeasurement cut = corner.at(0, 0);
  EXPECT_TRUE(cut.found);
  EXPECT_NEAR(cut.x, 1.0, 0.3);
}

}  // namespace
}  // namespace stellacq
