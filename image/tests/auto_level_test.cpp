// Bins, the automatic stretch on frames built to take each of its branches
// (levels worked by hand), and the grey mapping.
#include "image/auto_level.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace stellacq {
namespace {

constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr BinFormula kAuto = BinFormula::kAutoLevel;
constexpr BinFormula kWindow = BinFormula::kHistogramWindow;

TEST(CountBin, BinsOfCounts) {
  struct Case {
    std::int32_t v, min, max;
    BinFormula formula;
    int bin;
  };
  const Case cases[] = {
      {1004, 0, 3000, kAuto, 100},
      {1005, 0, 3000, kAuto, 101},
      {9000, 0, 3000, kAuto, 300},
      {-50, 0, 3000, kWindow, 0},
      {500, 500, 500, kAuto, 0},
      {600, 500, 500, kAuto, 300},
      {400, 500, 500, kWindow, 0},
      {3, 0, 8, kAuto, 112},
      {3, 0, 8, kWindow, 113},  // 112.5, rounded apart
      {kMax32, kMin32, kMax32, kAuto, 300},
      {0, kMax32, -1, kAuto, 300},  // extremes of an empty fill
  };
  for (const Case& c : cases)
    EXPECT_EQ(count_bin(c.v, c.min, c.max, c.formula), c.bin) << c.v << " in " << c.min << ".." << c.max;
}

TEST(LevelHistogram, SameAsTheBinOfEveryPixel) {
  FrameBuffer frame;
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> count(-100, 66000);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) frame.at(x, y) = count(random);
  for (BinFormula formula : {kAuto, kWindow}) {
    Histogram expected{};
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) ++expected[count_bin(frame.at(x, y), 17, 65535, formula)];
    EXPECT_EQ(level_histogram(frame, 300, 200, 17, 65535, formula), expected);
  }
  const Histogram whole = level_histogram(frame, 5000, 5000, 0, 10);  // held to the buffer
  EXPECT_EQ(std::accumulate(whole.begin(), whole.end(), std::int64_t{0}),
            std::int64_t{kFrameColumns} * kFrameRows);
  EXPECT_EQ(level_histogram(frame, -3, 10, 0, 10), Histogram{});
}

TEST(AutoLevel, WorkedLevels) {
  // The measured frame holds `base` with n pixels of each patch laid row by
  // row; the other frames hold 2990. Light 20 x 20, dark 10 x 10. Levels
  // start at background -40, range 0. With 0..3000 one bin is 10 counts.
  struct Patch {
    int n;
    std::int32_t v;
  };
  struct Case {
    const char* name;
    int source;
    std::int32_t base, min, max;
    std::vector<Patch> patches;
    std::int32_t background, range;
  };
  const std::vector<Case> cases = {
      {"one count: bin 0, levels kept", kSourceLight, 500, 500, 500, {}, -40, 1},
      {"peak in bin 1", kSourceLight, 10, 0, 3000, {{3, 0}, {3, 1500}}, -40, 1},
      {"peak in bin 299", kSourceLight, 2990, 0, 3000, {{3, 0}, {3, 1500}}, -40, 1},
      {"peak in bin 300", kSourceLight, 3000, 0, 3000, {{3, 0}, {3, 1500}}, -40, 1},
      // Peak 100 (352), level 70.86: bin 97 is empty around; 103 holds
      // sqrt(40^2 + 6^2) / 5 = 8.09, 104 only 6 / 5 = 1.2.
      {"sky with a wing and stars",
       kSourceLight,
       1000,
       0,
       3000,
       {{1, 0}, {1, 3000}, {40, 1010}, {6, 1050}},
       970,
       70},
      {"equal peaks: the lower", kSourceLight, 1000, 0, 3000, {{200, 2000}}, 970, 60},
      {"dark over its own size", kSourceDark, 1000, 0, 3000, {{1, 0}, {1, 3000}}, 970, 60},
      {"flat over the light size", kSourceFlat, 2000, 0, 3000, {{1, 0}}, 1970, 60},
      {"unknown source", 7, 1000, 0, 3000, {{1, 0}}, -40, 1},
      // Bins 147 and 153 of the whole 32-bit span; nothing overflows.
      {"32-bit span", kSourceLight, 0, kMin32, kMax32, {{1, kMin32}, {1, kMax32}}, -42949673, 85899345},
  };
  for (const Case& c : cases) {
    auto f = std::make_unique<Frames>();
    f->image_width = f->image_height = 20;
    f->dark_width = f->dark_height = 10;
    FrameBuffer* frames[] = {&f->light_frame, &f->dark_frame, &f->flat_frame};
    for (int s = 0; s < 3; ++s)
      for (int k = 0; k < 400; ++k) frames[s]->at(k % 20, k / 20) = 2990;
    const int width = c.source == kSourceDark ? 10 : 20;
    FrameBuffer& measured = c.source == kSourceDark   ? f->dark_frame
                            : c.source == kSourceFlat ? f->flat_frame
                                                      : f->light_frame;
    for (int k = 0; k < width * width; ++k) measured.at(k % width, k / width) = c.base;
    int k = 0;
    for (const Patch& patch : c.patches)
      for (int i = 0; i < patch.n; ++i, ++k) measured.at(k % width, k / width) = patch.v;
    f->display_source = c.source;
    f->scan_min = c.min;
    f->scan_max = c.max;
    f->display_background = -40;
    auto_level(*f);
    EXPECT_EQ(f->display_background, c.background) << c.name;
    EXPECT_EQ(f->display_range, c.range) << c.name;
  }
}

TEST(GreyLevel, CountsToGrey) {
  struct Case {
    std::int32_t background, range, count;
    int grey;
  };
  const Case cases[] = {
      {1000, 2000, 1000, 0},   {1000, 2000, 2000, 128},       {1000, 2000, 3000, 255},
      {1000, 2000, 999, 0},    {1000, 2000, 1007, 1},  // 0.896 + 0.5
      {1000, 2000, 1003, 0},                           // 0.384 + 0.5
      {0, 0, 1, 255},                                  // a range of 0 is taken as 1
      {2000, -500, 1500, 255}, {kMin32, kMax32, kMax32, 255}, {kMax32, 1000, kMin32, 0},
  };
  for (const Case& c : cases) {
    Frames f;
    f.display_background = c.background;
    f.display_range = c.range;
    EXPECT_EQ(grey_level(f, c.count), c.grey) << c.background << " " << c.range << " " << c.count;
  }
}

}  // namespace
}  // namespace stellacq
