// Histogram window arithmetic: bins, black- and white-point clicks, OK.
#include "image/histogram.h"

#include <gtest/gtest.h>

#include "core/numeric.h"
#include "image/tests/world.h"

namespace stellacq {
namespace {

using testing::grey;
using testing::make_world;

TEST(HistogramWindow, BinsAndScaleHeight) {
  auto w = make_world();
  w->set_light(10, 10, 1000);  // every count equals scan_min
  w->p.frames.scan_min = w->p.frames.scan_max = 1000;
  HistogramWindowState s = open_histogram(w->p.frames);
  EXPECT_EQ(s.bins[0], 100);
  EXPECT_EQ(s.scale_height, 101);

  // 1000..4000: 2500 -> bin 150, 4000 -> bin 300 (not counted in the
  // scale), 1005 -> 0.5 + 0.5 -> bin 1.
  w->p.frames.scan_max = 4000;
  for (int x = 0; x < 10; ++x) w->p.frames.light_frame.at(x, 0) = 4000;
  for (int x = 0; x < 10; ++x) w->p.frames.light_frame.at(x, 1) = 4000;
  w->p.frames.light_frame.at(0, 2) = 2500;
  w->p.frames.light_frame.at(1, 2) = 1005;
  w->p.frames.display_background = 7;
  w->p.frames.display_range = -3;
  s = open_histogram(w->p.frames);
  EXPECT_EQ(s.bins[300], 20);
  EXPECT_EQ(s.bins[150], 1);
  EXPECT_EQ(s.bins[1], 1);
  EXPECT_EQ(s.bins[0], 78);
  EXPECT_EQ(s.scale_height, 79);
  EXPECT_EQ(s.working_background, 7);
  EXPECT_EQ(s.working_range, -3);
}

TEST(HistogramWindow, ClickValues) {
  struct Case {
    std::int32_t min, max;
    double X;
    std::int32_t value;
  };
  const Case cases[] = {
      {1000, 4000, 150, 2500},
      {1000, 4000, 0, 1000},
      {1000, 4000, 300, 4000},
      {0, 3, 50, 0},
      {0, 3, 150, 2},
      {0, 3, 250, 2},  // .5, 1.5 -> 2, 2.5 -> 2
      {-2147483647 - 1, 2147483647, 300, 2147483647},
  };
  for (const Case& c : cases) {
    Frames f;
    f.scan_min = c.min;
    f.scan_max = c.max;
    EXPECT_EQ(click_value(f, c.X), c.value) << c.min << ".." << c.max << " at " << c.X;
  }
}

TEST(HistogramWindow, BlackAndWhitePointClicks) {
  Frames f;
  f.scan_min = 1000;
  f.scan_max = 4000;
  f.display_background = 1000;
  f.display_range = 3000;
  HistogramWindowState s = open_histogram(f);

  // Black point at 2000: the white point stays at 4000.
  MarkerMove m = histogram_click(s, f, true, 100);
  EXPECT_EQ(s.working_background, 2000);
  EXPECT_EQ(s.working_range, 2000);
  EXPECT_EQ(m.erased_at, 0);
  EXPECT_EQ(m.redraw_bin, 0);
  EXPECT_EQ(m.drawn_at, 100);

  // White point at 1500, below the black point: a negative range.
  m = histogram_click(s, f, false, 50);
  EXPECT_EQ(s.working_background, 2000);
  EXPECT_EQ(s.working_range, -500);
  EXPECT_EQ(m.erased_at, 0);

  // Moving the black point again erases the old marker at 100; the bar
  // under a marker at 120.5 is bin 120 (tie to even).
  histogram_click(s, f, true, 120.5);
  m = histogram_click(s, f, true, 130);
  EXPECT_EQ(m.erased_at, 120.5);
  EXPECT_EQ(m.redraw_bin, 120);
  EXPECT_EQ(s.background_marker, 130);
  EXPECT_EQ(s.white_marker, 50);
  EXPECT_EQ(s.working_background, 2300);
  EXPECT_EQ(s.working_range, -800);  // the white point stays at 1500
}

TEST(HistogramWindow, OkStoresFieldsAndRedraws) {
  struct Case {
    const char* background;
    const char* range;
    std::int32_t stored_background, stored_range;
    std::uint32_t grey_of_1000;
  };
  const Case cases[] = {
      {"2000", "-500", 2000, -500, 255},  // (1000 - 2000) / -500 * 256
      {"500", "1000", 500, 1000, 128},
      {"abc", "2000.5", 0, 2000, 128},  // not a number -> 0; tie to even
      {"999", "0", 999, 0, 255},        // a range of 0 is drawn as 1
  };
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(4, 4, 1000);
    histogram_ok(w->p, c.background, c.range);
    EXPECT_EQ(w->p.frames.display_background, c.stored_background) << c.background;
    EXPECT_EQ(w->p.frames.display_range, c.stored_range) << c.range;
    EXPECT_EQ(w->p.picture.at(0, 0), grey(c.grey_of_1000)) << c.background << " " << c.range;
    EXPECT_EQ(w->p.form.range_caption, "レンジ  (" + decimal_text(c.stored_range) + " )");
    EXPECT_EQ(w->ui.beeps, 1);
    EXPECT_EQ(w->ui.busy_off, 1);
  }
}

}  // namespace
}  // namespace stellacq
