// Dark subtraction, flat correction, the four dark and flat commands and
// what every display command refuses without its frame.
#include "image/correction.h"

#include <gtest/gtest.h>

#include "image/display.h"
#include "image/frame_display.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::make_world;

TEST(Corrections, WorkedPixels) {
  // Dark subtraction of `other`, or flat correction by `other` with `mean`.
  struct Case {
    bool dark;
    std::int32_t light, other, mean, result;
  };
  // clang-format off
  const Case cases[] = {
      {true, 1500, 400, 0, 1200}, {true, 300, 400, 0, 0}, {true, INT32_MAX, -5, 0, INT32_MAX},
      {true, INT32_MIN, INT32_MAX, 0, 0}, {false, 1200, 900, 1000, 1333},
      {false, 5, 2, 1, 2}, {false, 7, 2, 1, 4},  // 2.5 and 3.5: ties to even
      {false, 1200, 0, 1000, 1200}, {false, 1200, -3, 1000, 1200},  // no usable ratio: kept
      {false, -50, 10, 10, 0}, {false, INT32_MAX, 1, 1000, INT32_MAX}};
  // clang-format on
  // Rows of 37 pixels: the corrections work a row many pixels at a time, and
  // the odd width leaves a remainder taken one by one.
  constexpr int kWidth = 37, kHeight = 2;
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(kWidth, kHeight, c.light);
    w->set_dark(kWidth, kHeight, c.other);
    w->set_flat(c.other, c.mean);
    c.dark ? subtract_dark(w->f) : divide_flat(w->f);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) wrong += w->f.light.counts.at(x, y) != c.result;
    EXPECT_EQ(wrong, 0) << c.light << (c.dark ? " - " : " / ") << c.other << " = "
                        << w->f.light.counts.at(0, 0);
    EXPECT_EQ(w->f.light.max, c.result);
    EXPECT_EQ(w->f.light.min, c.result);
  }
}

TEST(ImageCommands, MissingFramesChangeNothing) {
  struct Case {
    bool light, dark, flat;
    void (FrameDisplay::*command)();
    const char* message;
  };
  // clang-format off
  const Case cases[] = {
      {true, false, true, &FrameDisplay::image_menu_display_dark_Click, "You do not open the dark file"},
      {false, true, true, &FrameDisplay::image_menu_display_dark_sub_Click, "You do not open the data file"},
      {true, true, false, &FrameDisplay::image_menu_display_flat_Click, "You do not open the flat field file"},
      {true, true, false, &FrameDisplay::image_menu_display_flat_sub_Click, "You do not open the flat field file"},
      {false, true, true, &FrameDisplay::image_menu_display_flat_sub_Click, "You do not open the data file"},
      {false, true, true, &FrameDisplay::image_menu_display_auto_Click, "You do not open the data file"}};
  // clang-format on
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(4, 4, 1500);
    w->set_flat(900, 1000);
    w->set_dark(c.dark ? 4 : 0, 4, 400);
    if (!c.light) w->f.light.width = 0;
    w->f.flat_loaded = c.flat;
    w->f.display_range = 55;
    (w->p.display.*c.command)();
    ASSERT_EQ(w->ui.boxes.size(), 1u) << c.message;
    EXPECT_EQ(w->ui.boxes[0].text, c.message);
    EXPECT_EQ(w->f.light.counts.at(0, 0) + w->f.light.max, 3000);
    EXPECT_EQ(w->f.display_range, 55);
    EXPECT_EQ(w->activity(), 0) << c.message;
  }
}

TEST(CorrectionCommands, DarkThenFlatOnTheLightFrame) {
  auto w = make_world();
  w->set_light(10, 10, 700);
  w->f.light.counts.at(5, 3) = 900;
  w->set_dark(10, 10, 100);
  for (int round = 0; round < 2; ++round) {  // a dark of 100 takes off what the pedestal adds
    w->p.display.image_menu_display_dark_sub_Click();
    EXPECT_EQ(w->f.light.counts.at(0, 0) + w->f.light.counts.at(5, 3), 1600);
    EXPECT_EQ(w->f.light.max - w->f.light.min, 200);
  }
  w->set_light(10, 10, 1200);
  w->set_flat(1000, 1000);
  w->f.flat.counts.at(2, 0) = 900;
  w->p.display.image_menu_display_flat_sub_Click();
  EXPECT_EQ(w->f.display_source, DisplaySource::Light);
  EXPECT_EQ(std::pair(w->f.light.min, w->f.light.max), std::pair(1200, 1333));  // 1333 under the flat's 900
  EXPECT_EQ(w->ui.beeps + w->ui.picture_updates, 6);
}

}  // namespace
}  // namespace stellacq
