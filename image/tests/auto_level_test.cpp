// Bins, the automatic stretch on frames built to take each of its branches
// (levels worked by hand), and the grey mapping.
#include "image/auto_level.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr BinFormula kAuto = BinFormula::kAutoLevel;
constexpr BinFormula kWindow = BinFormula::kHistogramWindow;

TEST(CountBin, BinsOfCounts) {
  struct Case {
    std::int32_t v, min, max;
    BinFormula formula;
    int bin;
  };
  // clang-format off
  const Case cases[] = {
      {1004, 0, 3000, kAuto, 100}, {1005, 0, 3000, kAuto, 101}, {9000, 0, 3000, kAuto, 300},
      {-50, 0, 3000, kWindow, 0}, {600, 500, 500, kAuto, 300},
      {3, 0, 8, kAuto, 112}, {3, 0, 8, kWindow, 113},  // 112.5 rounded apart
      {INT32_MAX, INT32_MIN, INT32_MAX, kAuto, 300},
      {0, INT32_MAX, -1, kAuto, 300}};  // extremes of an empty fill
  // clang-format on
  for (const Case& c : cases)
    EXPECT_EQ(count_bin(c.v, c.min, c.max, c.formula), c.bin) << c.v << " in " << c.min << ".." << c.max;
}

TEST(AutoLevel, WorkedLevels) {
  // The measured frame holds `base`, then n pixels of each patch row by row;
  // the others hold 2990. Light 20 x 20, dark 10 x 10. Levels start at
  // background -40, range 0. With 0..3000 one bin is 10 counts.
  struct Case {
    DisplaySource source;
    std::int32_t base, min, max;
    std::vector<std::pair<int, std::int32_t>> patches;
    std::int32_t background, range;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {DisplaySource::Light, 500, 500, 500, {}, -40, 1},  // one count: bin 0, levels kept
      {DisplaySource::Light, 10, 0, 3000, {{3, 0}, {3, 1500}}, -40, 1},  // peaks in bins 1, 299, 300: kept
      // Peak 100 (352), level 70.86: bin 97 is empty around; 103 holds
      // sqrt(40^2 + 6^2) / 5 = 8.09, 104 only 6 / 5 = 1.2.
      {DisplaySource::Light, 1000, 0, 3000, {{1, 0}, {1, 3000}, {40, 1010}, {6, 1050}}, 970, 70},
      {DisplaySource::Light, 1000, 0, 3000, {{200, 2000}}, 970, 60},  // equal peaks: the lower
      {DisplaySource::Dark, 1000, 0, 3000, {{1, 0}, {1, 3000}}, 970, 60},  // over its own size
      {DisplaySource::Flat, 2000, 0, 3000, {{1, 0}}, 1970, 60},  // over the light size
      // bins 147, 153
      {DisplaySource::Light, 0, INT32_MIN, INT32_MAX, {{1, INT32_MIN}, {1, INT32_MAX}}, -42949673, 85899345}};
  // clang-format on
  for (const Case& c : cases) {
    auto w = testing::make_world();
    w->set_light(20, 20, 2990);
    w->set_dark(10, 10, 2990);
    w->set_flat(2990, 0);
    Frame* frames[] = {&w->f.light, &w->f.dark, &w->f.flat};
    const int width = c.source == DisplaySource::Dark ? 10 : 20;
    testing::fill(*frames[static_cast<int>(c.source)], width, width, c.base);
    int k = 0;
    for (const auto& [n, v] : c.patches)
      for (int i = 0; i < n; ++i, ++k)
        frames[static_cast<int>(c.source)]->counts.at(k % width, k / width) = v;
    w->f.display_source = c.source;
    w->f.scan_min = c.min;
    w->f.scan_max = c.max;
    w->f.display_background = -40;
    auto_level(w->f);
    EXPECT_EQ(w->f.display_background, c.background) << static_cast<int>(c.source) << " " << c.base;
    EXPECT_EQ(w->f.display_range, c.range) << static_cast<int>(c.source) << " " << c.base;
  }
}

TEST(GreyLevel, CountsToGrey) {
  struct Case {
    std::int32_t background, range, count;
    int grey;
  };
  // clang-format off
  const Case cases[] = {
      {1000, 2000, 2000, 128}, {1000, 2000, 3000, 255}, {1000, 2000, 999, 0}, {0, 0, 1, 255},  // range 0 as 1
      {1000, 2000, 1007, 1}, {1000, 2000, 1003, 0},  // 0.896 and 0.384, + 0.5
      {2000, -500, 1500, 255}, {INT32_MIN, INT32_MAX, INT32_MAX, 255}, {INT32_MAX, 1000, INT32_MIN, 0}};
  // clang-format on
  for (const Case& c : cases) {
    Frames f;
    f.display_background = c.background;
    f.display_range = c.range;
    EXPECT_EQ(grey_level(f, c.count), c.grey) << c.background << " " << c.range << " " << c.count;
  }
}

}  // namespace
}  // namespace stellacq
