// The guide-star measurement against a literal box-by-box search, on random
// frames and windows cut by every edge of the frame, and the worked numbers.
#include "guiding/measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "test_support/world.h"

namespace stellacq {
namespace {

// Every candidate centre in column-then-row order, every box pixel summed
// one by one: the search as the guiding was first written.
GuideMeasurement brute_force(const FrameBuffer& f, int w, int h, int gx, int gy, int span, int a, int px,
                             int py) {
  GuideMeasurement m;
  m.star_x = px;
  m.star_y = py;
  const auto inside = [&](long x, long y) { return x >= 0 && x < w && y >= 0 && y < h; };
  for (long i = gx - span; i <= gx + span; ++i)
    for (long j = gy - span; j <= gy + span; ++j) {
      if (!inside(i, j)) continue;
      std::int64_t sum = 0;
      for (long x = i - a; x <= i + a; ++x)
        for (long y = j - a; y <= j + a; ++y)
          if (inside(x, y)) sum += f.at(static_cast<int>(x), static_cast<int>(y));
      if (sum > m.star_sum) {
        m.star_sum = sum;
        m.star_x = static_cast<int>(i);
        m.star_y = static_cast<int>(j);
      }
    }
  double total = 0, window_pixels = 0;
  for (long x = gx - span; x <= gx + span; ++x)
    for (long y = gy - span; y <= gy + span; ++y)
      if (inside(x, y)) {
        total += f.at(static_cast<int>(x), static_cast<int>(y));
        ++window_pixels;
      }
  const double box = (2.0 * a + 1) * (2.0 * a + 1);
  const double sky_area = window_pixels - box;
  m.sky_known = sky_area > 0;
  m.sky_sum = m.sky_known ? (total - static_cast<double>(m.star_sum)) * box / sky_area : 0.0;
  return m;
}

TEST(MeasureGuideStar, SameAsTheBoxByBoxSearchOnRandomFrames) {
  std::mt19937 random(20240611);
  auto frame = std::make_unique<Frame>();
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  int cut_left = 0, cut_right = 0, cut_top = 0, cut_bottom = 0, stars_found = 0;
  for (int n = 0; n < 3000; ++n) {
    // Some frames sit at the buffer's far corner; most are small.
    const bool far_corner = n % 100 == 0;
    const int w = far_corner ? kFrameColumns : pick(1, 48);
    const int h = far_corner ? kFrameRows : pick(1, 48);
    // Few distinct counts make ties; wide ones include negative counts as
    // left by dark subtraction.
    const int top_count = n % 3 == 0 ? 2 : 65535;
    const int low_count = n % 5 == 0 ? -300 : 0;
    const int x0 = far_corner ? w - 40 : 0, y0 = far_corner ? h - 40 : 0;
    for (int y = y0; y < h; ++y)
      for (int x = x0; x < w; ++x) frame->counts.at(x, y) = pick(low_count, top_count);
    const int span = pick(-1, 20);
    const int a = pick(-1, 8);
    const int gx = pick(x0 - 12, w + 12), gy = pick(y0 - 12, h + 12);
    const int px = pick(-5, 5), py = pick(-5, 5);

    frame->width = w;
    frame->height = h;
    const GuideMeasurement want = brute_force(frame->counts, w, h, gx, gy, span, a, px, py);
    const GuideMeasurement got = measure_guide_star(*frame, gx, gy, span, a, px, py);
    SCOPED_TRACE(::testing::Message() << "case " << n << ": " << w << "x" << h << " at " << gx << "," << gy
                                      << " span " << span << " aperture " << a);
    ASSERT_EQ(got.star_x, want.star_x);
    ASSERT_EQ(got.star_y, want.star_y);
    ASSERT_EQ(got.star_sum, want.star_sum);
    ASSERT_EQ(got.sky_sum, want.sky_sum);  // the same expression on the same exact total
    ASSERT_EQ(got.sky_known, want.sky_known);
    cut_left += gx - span < 0 && gx + span >= 0;
    cut_right += gx + span >= w && gx - span < w;
    cut_top += gy - span < 0 && gy + span >= 0;
    cut_bottom += gy + span >= h && gy - span < h;
    stars_found += want.star_sum > 0 && (want.star_x != px || want.star_y != py);
  }
  // The random cases did reach every edge and did find stars.
  EXPECT_GT(cut_left, 100);
  EXPECT_GT(cut_right, 100);
  EXPECT_GT(cut_top, 100);
  EXPECT_GT(cut_bottom, 100);
  EXPECT_GT(stars_found, 1000);
}

TEST(MeasureGuideStar, WorkedNumbers) {
  auto f = std::make_unique<Frame>(Frame{.width = 50, .height = 50});
  // A sky of 100 with one bright pixel: every centre within the aperture
  // sees it, the first in column-then-row order wins; the sky area of span
  // 10 and aperture 2 is 441 - 25 = 416.
  testing::fill(*f, 50, 50, 100);
  f->counts.at(25, 25) = 10000;
  GuideMeasurement m = measure_guide_star(*f, 25, 25, 10, 2, 0, 0);
  EXPECT_EQ(m.star_sum, 24 * 100 + 10000);
  EXPECT_EQ(std::pair(m.star_x, m.star_y), std::pair(23, 23));
  EXPECT_DOUBLE_EQ(m.sky_sum, (440.0 * 100 + 10000 - 12400) * 25 / 416);  // 2500: 25 pixels of 100
  EXPECT_EQ(ratio_text(m.ratio()), "4.96");
  EXPECT_TRUE(m.found(4.9f));
  EXPECT_FALSE(m.found(5.0f));

  // The same pixel on a sky of 0: the sky is 0 and a positive star is found.
  testing::fill(*f, 50, 50, 0);
  f->counts.at(30, 40) = 7;
  m = measure_guide_star(*f, 32, 38, 10, 2, 0, 0);
  EXPECT_EQ(std::pair(m.star_x, m.star_y), std::pair(28, 38));
  EXPECT_EQ(m.sky_sum, 0.0);
  EXPECT_EQ(ratio_text(m.ratio()), "∞");
  EXPECT_TRUE(m.found(1000.0f));

  // An all-zero window: nothing found, the previous position stays, ratio 0.
  m = measure_guide_star(*f, 10, 10, 5, 1, 4, 6);
  EXPECT_EQ(std::tuple(m.star_x, m.star_y, m.star_sum, m.sky_sum), std::tuple(4, 6, std::int64_t{0}, 0.0));
  EXPECT_EQ(ratio_text(m.ratio()), ".");
  EXPECT_FALSE(m.found(0.0f));

  // The widest spans and apertures a hand-edited settings file can hold.
  m = measure_guide_star(*f, 10, 10, std::numeric_limits<int>::max(), 0, 0, 0);
  EXPECT_EQ(std::tuple(m.star_x, m.star_y, m.star_sum), std::tuple(30, 40, std::int64_t{7}));
  m = measure_guide_star(*f, 10, 10, 1, std::numeric_limits<int>::max(), 0, 0);
  EXPECT_EQ(std::tuple(m.star_sum, m.sky_known), std::tuple(std::int64_t{7}, false));

  // An aperture as wide as the span leaves no sky: never found.
  f->counts.at(10, 10) = 500;
  m = measure_guide_star(*f, 10, 10, 3, 3, 0, 0);
  EXPECT_EQ(m.star_sum, 500);
  EXPECT_FALSE(m.sky_known);
  EXPECT_FALSE(m.found(-1.0f));
}

TEST(MeasureGuideStar, FullFrameOfSaturatedCountsNeedsWideSums) {
  // 1536 x 1024 of 65535 searched as wide as the frame is high: the window
  // total (about 1e11) and a box of 123 x 123 go beyond 32 bits.
  auto f = std::make_unique<Frame>(Frame{.width = 1536, .height = 1024});
  testing::fill(*f, 1536, 1024, 65535);
  const GuideMeasurement m = measure_guide_star(*f, 700, 500, 1024, 61, 0, 0);
  EXPECT_EQ(m.star_sum, std::int64_t{123} * 123 * 65535);
  EXPECT_EQ(std::pair(m.star_x, m.star_y), std::pair(61, 61));  // first box wholly inside
  // The window is cut to the frame, so the sky is one box of 65535 too.
  const double total = 1536.0 * 1024 * 65535;
  EXPECT_DOUBLE_EQ(m.sky_sum, (total - 123.0 * 123 * 65535) * 123 * 123 / (1536.0 * 1024 - 123 * 123));
  EXPECT_DOUBLE_EQ(m.ratio(), 1.0);
}

TEST(MeasureGuideStar, FeaturelessFrameIsNoStarAtAnyEdge) {
  // A uniform sky (cloud, or all saturated) locked near each edge and
  // corner: the best box holds as much light as any box of sky, so the ratio
  // is 1 wherever the frame cuts the window, and a threshold of 3 finds
  // nothing to guide on.
  auto f = std::make_unique<Frame>(Frame{.width = 384, .height = 256});
  testing::fill(*f, 384, 256, 1800);
  const struct {
    int gx, gy;
  } locks[] = {{2, 128}, {381, 128}, {192, 1}, {192, 254}, {0, 0}, {383, 255}, {386, 100}, {192, 128}};
  for (const auto& lock : locks) {
    const GuideMeasurement m = measure_guide_star(*f, lock.gx, lock.gy, 10, 2, 0, 0);
    EXPECT_DOUBLE_EQ(m.ratio(), 1.0) << lock.gx << "," << lock.gy;
    EXPECT_FALSE(m.found(3.0f)) << lock.gx << "," << lock.gy;
  }
  // A window with no more than a box of it inside the frame has no sky.
  const GuideMeasurement corner = measure_guide_star(*f, 393, 265, 10, 2, 0, 0);
  EXPECT_FALSE(corner.sky_known);
  EXPECT_FALSE(corner.found(0.0f));
}

TEST(MeasureGuideStar, RatioText) {
  const struct {
    double ratio;
    const char* text;
  } rows[] = {
      {12.345, "12.35"}, {0.5, ".5"},  {3, "3."},           {0, "."}, {-0.5, "-.5"}, {0.004, "."},
      {-0.004, "."},     {1.5, "1.5"}, {123.456, "123.46"},
  };
  for (const auto& row : rows) EXPECT_EQ(ratio_text(row.ratio), row.text) << row.ratio;
}

}  // namespace
}  // namespace stellacq
