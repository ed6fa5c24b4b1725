// Rendering into the image area, level captions and the brightness
// commands of the Image menu.
#include "image/display.h"

#include <gtest/gtest.h>

#include <random>

#include "image/auto_level.h"
#include "image/tests/world.h"

namespace stellacq {
namespace {

using testing::grey;
using testing::make_world;

TEST(ScreenMapping, FramesOfEverySizeFillTheSameArea) {
  struct Case {
    int x, y, width, height, sx, sy;
  };
  const Case cases[] = {
      {0, 0, 768, 512, 0, 0},         {767, 511, 768, 512, 302, 199},
      {383, 255, 384, 256, 302, 199}, {1535, 1023, 1536, 1024, 302, 199},
      {1, 1, 384, 256, 1, 1},         {384, 256, 768, 512, 151, 100},  // 151.296, 99.84
      {5, 3, 768, 512, 2, 1},                                          // 1.97, 1.17
  };
  for (const Case& c : cases) {
    EXPECT_EQ(screen_x(c.x, c.width), c.sx) << c.x << "/" << c.width;
    EXPECT_EQ(screen_y(c.y, c.height), c.sy) << c.y << "/" << c.height;
  }
}

// Draws pixel by pixel, rows outer and columns inner, as the picture is
// defined; the fast drawing must give the same picture.
Picture reference_drawing(const Frames& f, const FrameBuffer& frame, int width, int height) {
  Picture picture;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int sx = screen_x(x, width);
      const int sy = screen_y(y, height);
      if (sx < Picture::kWidth && sy < Picture::kHeight)
        picture.at(sx, sy) = grey(static_cast<std::uint32_t>(grey_level(f, frame.at(x, y))));
    }
  return picture;
}

TEST(DrawFrame, SameAsDrawingEveryPixelInOrder) {
  auto w = make_world();
  std::mt19937 random(3);
  std::uniform_int_distribution<std::int32_t> count(0, 65535);
  for (int y = 0; y < kFrameRows; ++y)
    for (int x = 0; x < kFrameColumns; ++x) w->p.frames.light_frame.at(x, y) = count(random);
  w->p.frames.display_background = 20000;
  w->p.frames.display_range = 30000;
  const int sizes[][2] = {{768, 512}, {384, 256}, {1536, 1024}, {100, 37}, {1537, 1025}, {1, 1}};
  for (const auto& size : sizes) {
    draw_frame(w->p, w->p.frames.light_frame, size[0], size[1]);
    EXPECT_EQ(w->p.picture.pixels,
              reference_drawing(w->p.frames, w->p.frames.light_frame, size[0], size[1]).pixels)
        << size[0] << " x " << size[1];
  }
  EXPECT_EQ(w->ui.picture_updates, 6);
}

TEST(DrawFrame, ClearsFirstAndStaysInsideTheBuffer) {
  auto w = make_world();
  w->p.picture.pixels.assign(w->p.picture.pixels.size(), grey(255));
  w->set_light(4, 4, 5000);
  w->p.frames.display_background = 0;
  w->p.frames.display_range = 10000;
  draw_frame(w->p, w->p.frames.light_frame, 4, 4);
  EXPECT_EQ(w->p.picture.at(0, 0), grey(128));
  EXPECT_EQ(w->p.picture.at(303, 200), Picture::kBackground);
  EXPECT_EQ(w->p.picture.at(1, 0), Picture::kBackground);  // 4 columns land 76 pixels apart

  // Sizes from a damaged file: no read outside the buffer, nothing drawn for 0.
  draw_frame(w->p, w->p.frames.light_frame, 100000, 100000);
  draw_frame(w->p, w->p.frames.light_frame, 0, -5);
  EXPECT_EQ(w->p.picture.pixels, Picture().pixels);
  EXPECT_EQ(w->ui.picture_updates, 3);
}

TEST(LevelCaptions, NumbersWithSignPosition) {
  struct Case {
    std::int32_t range, background;
    const char* range_caption;
    const char* background_caption;
  };
  const Case cases[] = {
      {2000, 1000, "レンジ  ( 2000 )", "バックグランド  ( 1000 )"},
      {1, -5, "レンジ  ( 1 )", "バックグランド  (-5 )"},
      {0, 0, "レンジ  ( 0 )", "バックグランド  ( 0 )"},
  };
  for (const Case& c : cases) {
    auto w = make_world();
    w->p.frames.display_range = c.range;
    w->p.frames.display_background = c.background;
    show_level_captions(w->p);
    EXPECT_EQ(w->p.form.range_caption, c.range_caption);
    EXPECT_EQ(w->p.form.background_caption, c.background_caption);
  }
}

TEST(AutoCommand, WithoutLightFrameOnlyTheMessage) {
  auto w = make_world();
  w->p.frames.display_range = 55;
  w->p.frames.display_source = kSourceDark;
  image_menu_display_auto_Click(w->p);
  ASSERT_EQ(w->ui.boxes.size(), 1u);
  EXPECT_EQ(w->ui.boxes[0].text, "You do not open the data file");
  EXPECT_EQ(w->ui.boxes[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(w->p.frames.display_range, 55);
  EXPECT_EQ(w->p.frames.display_source, kSourceDark);
  EXPECT_EQ(w->p.form.range_caption, "レンジ");
  EXPECT_EQ(w->ui.picture_updates + w->ui.beeps + w->ui.busy_on, 0);
}

TEST(AutoCommand, MeasuresTheLightFrameAndDraws) {
  auto w = make_world();
  w->set_light(10, 10, 1000);
  w->p.frames.light_frame.at(0, 0) = 0;
  w->p.frames.light_frame.at(1, 0) = 3000;
  w->p.frames.light_min = 0;
  w->p.frames.light_max = 3000;
  w->p.frames.scan_min = w->p.frames.scan_max = 77;  // left by another frame
  w->p.frames.display_source = kSourceDark;
  image_menu_display_auto_Click(w->p);
  EXPECT_EQ(w->p.frames.display_source, kSourceLight);
  EXPECT_EQ(w->p.frames.display_background, 970);
  EXPECT_EQ(w->p.frames.display_range, 60);
  EXPECT_EQ(w->p.form.range_caption, "レンジ  ( 60 )");
  EXPECT_EQ(w->p.form.background_caption, "バックグランド  ( 970 )");
  EXPECT_EQ(w->p.picture.at(0, 0), grey(0));      // count 0
  EXPECT_EQ(w->p.picture.at(30, 0), grey(255));   // count 3000 at x = 1
  EXPECT_EQ(w->p.picture.at(61, 20), grey(128));  // (2, 1): 30 / 60 * 256
  EXPECT_EQ(w->ui.picture_updates, 1);
  EXPECT_EQ(w->ui.busy_on, 1);
  EXPECT_EQ(w->ui.busy_off, 1);
  EXPECT_FALSE(w->ui.busy_now);
  EXPECT_EQ(w->ui.beeps, 1);
  EXPECT_TRUE(w->ui.boxes.empty());
}

TEST(ManualLevels, AnswersAreReadLenientlyAndRedrawWithoutAutoLevel) {
  struct Case {
    bool range;  // else background
    const char* answer;
    std::int32_t stored;
  };
  const Case cases[] = {
      {true, "1234.5", 1234}, {true, "1235.5", 1236}, {true, "  2e3xyz", 2000},
      {false, "abc", 0},      {false, "-40", -40},    {true, "9e99", 2147483647},
  };
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(8, 8, 1000);
    w->p.frames.display_range = 2000;
    w->p.frames.display_background = -5;
    w->ui.input_answers.push_back(c.answer);
    if (c.range)
      image_menu_display_manual_range_Click(w->p);
    else
      image_menu_display_manual_background_Click(w->p);
    ASSERT_EQ(w->ui.inputs.size(), 1u);
    EXPECT_EQ(w->ui.inputs[0].prompt, "");
    EXPECT_EQ(w->ui.inputs[0].title, c.range ? "レンジ設定" : "バックグランド設定");
    EXPECT_EQ(w->ui.inputs[0].default_text, c.range ? " 2000" : "-5");
    const std::int32_t other = c.range ? w->p.frames.display_background : w->p.frames.display_range;
    EXPECT_EQ(c.range ? w->p.frames.display_range : w->p.frames.display_background, c.stored) << c.answer;
    EXPECT_EQ(other, c.range ? -5 : 2000);
    EXPECT_EQ(w->ui.picture_updates, 1);
    EXPECT_EQ(w->ui.beeps, 1);
    EXPECT_EQ(w->ui.busy_on, 1);
    EXPECT_NE(w->p.form.range_caption, "レンジ");
  }
}

TEST(ManualLevels, CancelChangesNothing) {
  auto w = make_world();
  w->set_light(8, 8, 1000);
  w->p.frames.display_range = 2000;
  w->p.picture.at(5, 5) = grey(9);
  image_menu_display_manual_range_Click(w->p);  // the scripted box answers ""
  image_menu_display_manual_background_Click(w->p);
  EXPECT_EQ(w->ui.inputs.size(), 2u);
  EXPECT_EQ(w->p.frames.display_range, 2000);
  EXPECT_EQ(w->p.frames.display_background, 0);
  EXPECT_EQ(w->p.form.range_caption, "レンジ");
  EXPECT_EQ(w->p.form.background_caption, "バックグランド");
  EXPECT_EQ(w->p.picture.at(5, 5), grey(9));
  EXPECT_EQ(w->ui.picture_updates + w->ui.beeps + w->ui.busy_on, 0);
  EXPECT_TRUE(w->ui.boxes.empty());
}

TEST(ManualLevels, ValueIsStoredEvenWithoutLightFrame) {
  auto w = make_world();
  w->ui.input_answers.push_back("300");
  image_menu_display_manual_range_Click(w->p);
  EXPECT_EQ(w->p.frames.display_range, 300);
  ASSERT_EQ(w->ui.boxes.size(), 1u);
  EXPECT_EQ(w->ui.boxes[0].text, "You do not open the data file");
  EXPECT_EQ(w->p.form.range_caption, "レンジ");
  EXPECT_EQ(w->ui.picture_updates + w->ui.beeps + w->ui.busy_on, 0);
}

}  // namespace
}  // namespace stellacq
