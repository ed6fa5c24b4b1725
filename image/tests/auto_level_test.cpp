// Automatic levels and the grey mapping, on frames built so that each
// branch of the stretch is taken, with the expected levels worked by hand.
#include "image/auto_level.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <random>

namespace stellacq {
namespace {

constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();

// A light frame of width x height filled with `fill`, with the given extremes.
std::unique_ptr<Frames> light(int width, int height, std::int32_t fill, std::int32_t scan_min,
                              std::int32_t scan_max) {
  auto f = std::make_unique<Frames>();
  f->image_width = width;
  f->image_height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) f->light_frame.at(x, y) = fill;
  f->scan_min = scan_min;
  f->scan_max = scan_max;
  f->display_source = kSourceLight;
  return f;
}

// Puts `n` pixels of value v into the frame, walking it row by row from
// pixel number `start`.
int put(Frames& f, int start, int n, std::int32_t v) {
  for (int k = start; k < start + n; ++k) f.light_frame.at(k % f.image_width, k / f.image_width) = v;
  return start + n;
}

TEST(LevelBin, BinsOfCounts) {
  struct Case {
    std::int32_t v, min, max;
    int bin;
  };
  const Case cases[] = {
      {0, 0, 3000, 0},
      {1000, 0, 3000, 100},
      {1004, 0, 3000, 100},
      {1005, 0, 3000, 101},
      {3000, 0, 3000, 300},
      {9000, 0, 3000, 300},
      {-50, 0, 3000, 0},
      {500, 500, 500, 0},
      {600, 500, 500, 300},
      {400, 500, 500, 0},
      {kMax32, kMin32, kMax32, 300},
      {kMin32, kMin32, kMax32, 0},
      {0, kMax32, -1, 300},  // extremes of an empty fill
  };
  for (const Case& c : cases)
    EXPECT_EQ(level_bin(c.v, c.min, c.max), c.bin) << c.v << " in " << c.min << ".." << c.max;
}

TEST(LevelHistogram, TableAndFormulaAgree) {
  // The histogram counts through a table for 16-bit spans; check it against
  // the bin of every pixel computed one by one.
  auto f = light(300, 200, 0, 17, 65535);
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> count(-100, 66000);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) f->light_frame.at(x, y) = count(random);
  Histogram expected{};
  for (int x = 0; x < 300; ++x)
    for (int y = 0; y < 200; ++y) ++expected[level_bin(f->light_frame.at(x, y), 17, 65535)];
  EXPECT_EQ(level_histogram(f->light_frame, 300, 200, 17, 65535), expected);
}

TEST(LevelHistogram, SizesBeyondTheBufferAreLimited) {
  FrameBuffer frame;
  const Histogram h = level_histogram(frame, 5000, 5000, 0, 10);
  EXPECT_EQ(h[0], std::int64_t{kFrameColumns} * kFrameRows);
  EXPECT_EQ(level_histogram(frame, -3, 10, 0, 10)[0], 0);
}

TEST(AutoLevel, FlatFrameKeepsLevelsAndLiftsRangeToOne) {
  auto f = light(40, 30, 500, 500, 500);
  f->display_background = 123;
  f->display_range = 0;
  auto_level(*f);
  EXPECT_EQ(f->display_background, 123);
  EXPECT_EQ(f->display_range, 1);

  f->display_range = 77;
  auto_level(*f);
  EXPECT_EQ(f->display_background, 123);
  EXPECT_EQ(f->display_range, 77);
}

TEST(AutoLevel, PeakAtTheEdgesKeepsLevels) {
  // min 0, max 3000: one bin is 10 counts. Peaks in bins 1, 299 and 300.
  const std::int32_t peaks[] = {10, 2990, 3000};
  for (std::int32_t peak_value : peaks) {
    auto f = light(10, 10, peak_value, 0, 3000);
    put(*f, 0, 3, 0);
    put(*f, 3, 3, 1500);
    f->display_background = -40;
    f->display_range = -5;
    auto_level(*f);
    EXPECT_EQ(f->display_background, -40) << peak_value;
    EXPECT_EQ(f->display_range, 1) << peak_value;
  }
}

TEST(AutoLevel, SkyPeakWithStars) {
  // min 0, max 3000. Sky: 50 pixels in bin 100, 40 in bin 101; a faint
  // wing of 6 pixels in bin 105; one dead pixel (bin 0) and one star (bin
  // 300). Peak 100, level sqrt(50^2 + 40^2) / 5 = 12.81, a tenth 1.281.
  // Downwards: bin 97 is the first with level 0 -> Int(970.5) = 970.
  // Upwards: level(103) = sqrt(40^2 + 6^2) / 5 = 8.09, level(104) = 6 / 5
  // = 1.2 < 1.281 -> Int(1040.5) = 1040, range 70.
  auto f = light(10, 10, 1000, 0, 3000);
  int k = put(*f, 0, 1, 0);
  k = put(*f, k, 1, 3000);
  k = put(*f, k, 40, 1010);
  put(*f, k, 6, 1050);
  auto_level(*f);
  EXPECT_EQ(f->display_background, 970);
  EXPECT_EQ(f->display_range, 70);
}

TEST(AutoLevel, EqualPeaksTakeTheLowerBin) {
  // 50 pixels at 1000 (bin 100), 50 at 2000 (bin 200): peak 100, so black
  // at bin 97 (970) and white at bin 103 (1030).
  auto f = light(10, 10, 1000, 1000, 2000);
  f->scan_min = 0;
  f->scan_max = 3000;
  put(*f, 0, 50, 2000);
  auto_level(*f);
  EXPECT_EQ(f->display_background, 970);
  EXPECT_EQ(f->display_range, 60);
}

TEST(AutoLevel, MeasuresTheFrameNamedBySource) {
  // The dark frame over its own size; the light frame holds other counts.
  auto f = light(20, 20, 2990, 0, 3000);
  f->dark_width = 10;
  f->dark_height = 10;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) f->dark_frame.at(x, y) = 1000;
  f->dark_frame.at(0, 0) = 0;
  f->dark_frame.at(1, 0) = 3000;
  f->display_source = kSourceDark;
  auto_level(*f);
  EXPECT_EQ(f->display_background, 970);
  EXPECT_EQ(f->display_range, 60);

  // The flat field over the light frame's size.
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) f->flat_frame.at(x, y) = 2000;
  f->flat_frame.at(0, 0) = 0;
  f->display_source = kSourceFlat;
  auto_level(*f);
  EXPECT_EQ(f->display_background, 1970);
  EXPECT_EQ(f->display_range, 60);

  // An unknown source measures nothing and keeps the levels.
  f->display_source = 7;
  auto_level(*f);
  EXPECT_EQ(f->display_background, 1970);
  EXPECT_EQ(f->display_range, 60);
}

TEST(AutoLevel, ExtremeCountsStayInRange) {
  // A frame spanning the whole 32-bit range: nothing overflows and the
  // range stays positive.
  auto f = light(10, 10, 0, kMin32, kMax32);
  put(*f, 0, 1, kMin32);
  put(*f, 1, 1, kMax32);
  auto_level(*f);
  EXPECT_GT(f->display_range, 0);
  EXPECT_LE(f->display_background, 0);
  EXPECT_GE(std::int64_t{f->display_background} + f->display_range, 0);
}

TEST(GreyLevel, CountsToGrey) {
  struct Case {
    std::int32_t background, range, count;
    int grey;
  };
  const Case cases[] = {
      {1000, 2000, 1000, 0},
      {1000, 2000, 2000, 128},
      {1000, 2000, 3000, 255},
      {1000, 2000, 999, 0},
      {1000, 2000, 1007, 1},  // 0.896 + 0.5 -> 1
      {1000, 2000, 1003, 0},  // 0.384 + 0.5 -> 0
      {0, 0, 0, 0},           // a range of 0 is taken as 1
      {0, 0, 1, 255},
      {2000, -500, 1500, 255},
      {kMin32, kMax32, kMax32, 255},  // the difference needs more than 32 bits
      {kMax32, 1000, kMin32, 0},
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
