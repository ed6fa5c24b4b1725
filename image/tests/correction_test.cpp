// Dark subtraction, flat correction and the four dark and flat commands.
#include "image/correction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "core/numeric.h"
#include "image/display.h"
#include "image/tests/world.h"

namespace stellacq {
namespace {

using testing::grey;
using testing::make_world;

constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();

TEST(SubtractDark, WorkedPixels) {
  struct Case {
    std::int32_t light, dark, result;
  };
  const Case cases[] = {
      {1500, 400, 1200}, {300, 400, 0},        {250, 400, 0},
      {100, 100, 100},   {kMax32, -5, kMax32}, {kMin32, kMax32, 0},
  };
  auto w = make_world();
  w->set_light(1, static_cast<int>(std::size(cases)), 0);
  w->set_dark(1, static_cast<int>(std::size(cases)), 0);
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    w->p.frames.light_frame.at(0, i) = cases[i].light;
    w->p.frames.dark_frame.at(0, i) = cases[i].dark;
  }
  subtract_dark(w->p.frames);
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
    EXPECT_EQ(w->p.frames.light_frame.at(0, i), cases[i].result) << cases[i].light << " - " << cases[i].dark;
  EXPECT_EQ(w->p.frames.light_max, kMax32);
  EXPECT_EQ(w->p.frames.light_min, 0);
  EXPECT_EQ(w->p.frames.scan_max, kMax32);
  EXPECT_EQ(w->p.frames.scan_min, 0);
}

TEST(SubtractDark, DarkOfPedestalLeavesLightUnchangedEveryTime) {
  auto w = make_world();
  w->set_light(6, 4, 700);
  w->p.frames.light_frame.at(5, 3) = 900;
  w->set_dark(6, 4, 100);
  for (int round = 0; round < 2; ++round) {
    image_menu_display_dark_sub_Click(w->p);
    EXPECT_EQ(w->p.frames.light_frame.at(0, 0), 700);
    EXPECT_EQ(w->p.frames.light_frame.at(5, 3), 900);
    EXPECT_EQ(w->p.frames.light_max, 900);
    EXPECT_EQ(w->p.frames.light_min, 700);
  }
  EXPECT_EQ(w->p.frames.display_source, kSourceLight);
  EXPECT_EQ(w->ui.picture_updates, 2);
  EXPECT_EQ(w->ui.beeps, 2);
  EXPECT_EQ(w->ui.busy_on, 2);
  EXPECT_FALSE(w->ui.busy_now);
  EXPECT_EQ(w->p.form.range_caption, "レンジ");  // captions are left alone
}

TEST(DivideFlat, WorkedPixels) {
  struct Case {
    std::int32_t light, flat, mean, result;
  };
  const Case cases[] = {
      {1200, 900, 1000, 1333},
      {1200, 1000, 1000, 1200},
      {5, 2, 1, 2},
      {7, 2, 1, 4},  // 2.5 -> 2, 3.5 -> 4
      {1200, 0, 1000, 1200},
      {1200, -3, 1000, 1200},  // no usable ratio
      {0, 0, 1000, 0},
      {-50, 10, 10, 0},
      {kMax32, 1, 1000, kMax32},
      {500, 7, 0, 0},
  };
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(1, 1, c.light);
    w->set_flat(c.flat, c.mean);
    divide_flat(w->p.frames);
    EXPECT_EQ(w->p.frames.light_frame.at(0, 0), c.result) << c.light << " / " << c.flat << " * " << c.mean;
    EXPECT_EQ(w->p.frames.light_max, c.result);
    EXPECT_EQ(w->p.frames.light_min, c.result);
  }
}

TEST(DivideFlat, SameAsRoundingEachQuotient) {
  auto w = make_world();
  w->set_light(300, 100, 0);
  w->set_flat(0, 0);
  std::mt19937 random(5);
  std::uniform_int_distribution<std::int32_t> light(-1000, 70000), flat(1, 70000), half(0, 1000);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 300; ++x) {
      w->p.frames.light_frame.at(x, y) = light(random);
      w->p.frames.flat_frame.at(x, y) = flat(random);
    }
  // Exact ties: light / flat * mean = n + 0.5 for a flat of 2 and mean 1.
  for (int x = 0; x < 300; ++x) {
    w->p.frames.light_frame.at(x, 0) = 2 * half(random) + 1;
    w->p.frames.flat_frame.at(x, 0) = 2;
  }
  w->p.frames.flat_mean = 1;
  const Frames before = w->p.frames;
  divide_flat(w->p.frames);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 300; ++x) {
      const double t = static_cast<double>(before.light_frame.at(x, y)) / before.flat_frame.at(x, y) * 1;
      const std::int32_t expected = std::max(0, static_cast<std::int32_t>(round_half_even(t)));
      ASSERT_EQ(w->p.frames.light_frame.at(x, y), expected) << x << ", " << y;
    }
}

TEST(CorrectionCommands, MissingFramesChangeNothing) {
  struct Case {
    bool light, dark, flat_loaded;
    void (*command)(Program&);
    const char* message;
  };
  const Case cases[] = {
      {true, false, true, image_menu_display_dark_Click, "You do not open the dark file"},
      {true, false, true, image_menu_display_dark_sub_Click, "You do not open the data file"},
      {false, true, true, image_menu_display_dark_sub_Click, "You do not open the data file"},
      {true, true, false, image_menu_display_flat_Click, "You do not open the flat field file"},
      {true, true, false, image_menu_display_flat_sub_Click, "You do not open the flat field file"},
      {false, true, true, image_menu_display_flat_Click, "You do not open the data file"},
      {false, true, true, image_menu_display_flat_sub_Click, "You do not open the data file"},
  };
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(4, 4, 1500);
    w->set_dark(4, 4, 400);
    w->set_flat(900, 1000);
    if (!c.light) w->p.frames.image_width = w->p.frames.image_height = 0;
    if (!c.dark) w->p.frames.dark_width = w->p.frames.dark_height = 0;
    w->p.frames.flat_loaded = c.flat_loaded ? 1 : 0;
    w->p.frames.display_source = 7;
    w->p.frames.display_range = 55;
    c.command(w->p);
    ASSERT_EQ(w->ui.boxes.size(), 1u) << c.message;
    EXPECT_EQ(w->ui.boxes[0].text, c.message);
    EXPECT_EQ(w->p.frames.light_frame.at(0, 0), 1500);
    EXPECT_EQ(w->p.frames.light_max, 1500);
    EXPECT_EQ(w->p.frames.display_source, 7);
    EXPECT_EQ(w->p.frames.display_range, 55);
    EXPECT_EQ(w->ui.picture_updates + w->ui.beeps + w->ui.busy_on, 0) << c.message;
  }
}

TEST(CorrectionCommands, DarkDisplayWorksWithoutLightFrame) {
  auto w = make_world();
  w->set_dark(10, 10, 1000);
  w->p.frames.dark_frame.at(0, 0) = 0;
  w->p.frames.dark_frame.at(1, 0) = 3000;
  w->p.frames.dark_min = 0;
  w->p.frames.dark_max = 3000;
  image_menu_display_dark_Click(w->p);
  EXPECT_TRUE(w->ui.boxes.empty());
  EXPECT_EQ(w->p.frames.display_source, kSourceDark);
  EXPECT_EQ(w->p.frames.display_background, 970);
  EXPECT_EQ(w->p.frames.display_range, 60);
  EXPECT_EQ(w->p.picture.at(30, 0), grey(255));
  EXPECT_EQ(w->p.form.range_caption, "レンジ");
  EXPECT_EQ(w->ui.beeps, 1);
}

TEST(CorrectionCommands, AfterDarkDisplayManualLevelsRedrawTheLightFrame) {
  auto w = make_world();
  w->set_light(8, 8, 1000);
  w->set_dark(8, 8, 3000);
  image_menu_display_dark_Click(w->p);
  w->ui.input_answers.push_back("2000");
  image_menu_display_manual_range_Click(w->p);
  // background is what the dark's flat histogram left (0): 1000 / 2000 * 256.
  EXPECT_EQ(w->p.frames.display_background, 0);
  EXPECT_EQ(w->p.picture.at(0, 0), grey(128));
}

TEST(CorrectionCommands, FlatDisplayAndCorrection) {
  auto w = make_world();
  w->set_light(10, 10, 1200);
  w->set_flat(1000, 1000);
  w->p.frames.flat_frame.at(0, 0) = 0;
  w->p.frames.flat_frame.at(1, 0) = 3000;
  w->p.frames.flat_min = 0;
  w->p.frames.flat_max = 3000;
  image_menu_display_flat_Click(w->p);
  EXPECT_EQ(w->p.frames.display_source, kSourceFlat);
  EXPECT_EQ(w->p.form.range_caption, "レンジ  ( 60 )");
  EXPECT_EQ(w->p.form.background_caption, "バックグランド  ( 970 )");

  w->p.frames.flat_frame.at(2, 0) = 900;
  image_menu_display_flat_sub_Click(w->p);
  EXPECT_EQ(w->p.frames.display_source, kSourceLight);
  EXPECT_EQ(w->p.frames.light_frame.at(0, 0), 1200);  // flat 0: kept
  EXPECT_EQ(w->p.frames.light_frame.at(1, 0), 400);
  EXPECT_EQ(w->p.frames.light_frame.at(2, 0), 1333);
  EXPECT_EQ(w->p.frames.light_max, 1333);
  EXPECT_EQ(w->p.frames.light_min, 400);
  EXPECT_EQ(w->p.form.range_caption, "レンジ  ( 60 )");  // only the flat display sets them
  EXPECT_EQ(w->ui.beeps, 2);
  EXPECT_EQ(w->ui.busy_off, 2);
}

}  // namespace
}  // namespace stellacq
