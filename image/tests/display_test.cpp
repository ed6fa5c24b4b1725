// Rendering into the image area, level captions, the brightness commands
// of the Image menu and the cursor readout.
#include "image/display.h"

#include <gtest/gtest.h>

#include "image/cursor.h"
#include "image/frame_display.h"
#include "image/histogram.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::grey;
using testing::make_world;

TEST(AutoCommand, MeasuresTheLightFrameAndDraws) {
  auto w = make_world();
  w->set_light(10, 10, 1000);
  w->f.light.counts.at(0, 0) = w->f.light.min = 0;
  w->f.light.counts.at(1, 0) = w->f.light.max = 3000;
  w->f.scan_min = w->f.scan_max = 77;  // left by another frame
  w->f.display_source = DisplaySource::Dark;
  w->p.display.image_menu_display_auto_Click();
  EXPECT_EQ(w->f.display_source, DisplaySource::Light);
  EXPECT_EQ(w->p.form.range_caption, "レンジ  ( 60 )");
  EXPECT_EQ(w->p.form.background_caption, "バックグランド  ( 970 )");
  EXPECT_EQ(w->p.picture.at(30, 0), grey(255));   // 3000 at x = 1
  EXPECT_EQ(w->p.picture.at(61, 20), grey(128));  // (2, 1): 30 / 60 * 256
  EXPECT_EQ(w->ui.picture_updates + w->ui.busy_on + w->ui.busy_off + w->ui.beeps, 4);
}

TEST(BrightnessCommands, AnswersAndRefusals) {
  // Levels start at background -5, range 2000. An empty answer (Cancel)
  // changes nothing; any other is stored, even without a light frame.
  struct Case {
    bool range, light;  // else background
    const char* answer;
    std::int32_t stored;
    int draws;
    const char* caption;  // of the menu item asked for; as at start when nothing was drawn
  };
  // clang-format off
  const Case cases[] = {
      {true, true, "1234.5", 1234, 1, "レンジ  ( 1234 )"}, {false, true, "1235.5", 1236, 1, "バックグランド  ( 1236 )"},
      {false, true, "", -5, 0, "バックグランド"}, {true, false, "300", 300, 0, "レンジ"}};
  // clang-format on
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(c.light ? 8 : 0, 8, 1000);
    w->f.display_range = 2000;
    w->f.display_background = -5;
    w->ui.input_answers.push_back(c.answer);
    (w->p.display.*(c.range ? &FrameDisplay::image_menu_display_manual_range_Click
                            : &FrameDisplay::image_menu_display_manual_background_Click))();
    ASSERT_EQ(w->ui.inputs.size(), 1u);
    EXPECT_EQ(w->ui.inputs[0].title, c.range ? "レンジ設定" : "バックグランド設定");
    EXPECT_EQ(w->ui.inputs[0].default_text, c.range ? " 2000" : "-5");
    EXPECT_EQ(std::pair(w->f.display_background, w->f.display_range),
              c.range ? std::pair(-5, c.stored) : std::pair(c.stored, 2000))
        << c.answer;
    EXPECT_EQ(w->activity(), 3 * c.draws) << c.answer;
    EXPECT_EQ(c.range ? w->p.form.range_caption : w->p.form.background_caption, c.caption);
    EXPECT_EQ(w->ui.boxes.size(), c.light ? 0u : 1u);
  }
}

TEST(CursorReadout, PositionsToColumnRowAndCount) {
  // 768 x 512 frame in an area of 304 x 201 units; count = 10 x + y, but
  // (0, 0) = -5. A width of 5000 reads inside the buffer.
  struct Case {
    double X, Y, W;
    int width;
    const char* label;
  };
  // clang-format off
  const Case cases[] = {
      {151.2, 99.7, 304, 768, " 383 255 4085"},  // 383.98, 255.96
      {1e30, 1e30, 304, 768, " 767 511 8181"}, {-3, -0.5, 304, 768, " 0 0-5"},  // past the edges
      {300, 0, 304, 5000, " 1536 0 15360"}, {10, 10, 0, 768, "before"}};  // no area
  // clang-format on
  for (const Case& c : cases) {
    auto w = make_world();
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < kFrameColumns; ++x) w->f.light.counts.at(x, y) = 10 * x + y;
    w->f.light.counts.at(0, 0) = -5;
    w->f.light.width = c.width;
    w->f.light.height = 512;
    w->p.form.Label1 = "before";
    w->p.display.Picture1_MouseMove(c.X, c.Y, c.W, 201);
    EXPECT_EQ(w->p.form.Label1, c.label) << c.X << ", " << c.Y;
  }
}

TEST(DrawFrame, TheLastFramePixelDrawnOnAScreenPixelShows) {
  // A 1536 x 1024 frame: frame columns and rows 0, 1 and 2 all land on
  // screen (0, 0); drawn y outer, x inner, (2, 2) is the last of them.
  struct Case {
    int x, y;  // the one pixel set to 1000 in a frame of 0
    std::uint32_t shown;
  };
  const Case cases[] = {{2, 2, grey(255)}, {1, 2, grey(0)}, {2, 1, grey(0)}, {3, 2, grey(0)}};
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(1536, 1024, 0);
    w->f.light.counts.at(c.x, c.y) = 1000;
    w->f.display_background = 0;
    w->f.display_range = 100;
    draw_frame(w->p.picture, w->f, w->f.light);
    EXPECT_EQ(w->p.picture.at(0, 0), c.shown) << c.x << ", " << c.y;
  }
}

TEST(HistogramScale, OnlyBinsZeroTo299SetTheHeight) {
  // 100 pixels: 60 at scan_max (bin 300), 30 at scan_min (bin 0), 10 just
  // below scan_max (bin 299).
  auto w = make_world();
  w->set_light(10, 10, 3000);
  for (int x = 0; x < 10; ++x) {
    for (int y = 0; y < 3; ++y) w->f.light.counts.at(x, y) = 0;
    w->f.light.counts.at(x, 3) = 2990;
  }
  w->f.scan_min = 0;
  w->f.scan_max = 3000;
  const HistogramWindowState state = open_histogram(w->f);
  EXPECT_EQ(std::tuple(state.bins[0], state.bins[299], state.bins[300], state.scale_height),
            std::tuple(30, 10, 60, 31));
}

TEST(BinningSelector, SetsBinningTheTicksAndTheStatusLine) {
  struct Case {
    std::vector<void (FrameDisplay::*)()> clicks;
    int binning;
    const char* status;
  };
  const Case cases[] = {
      {{&FrameDisplay::Option1_Click, &FrameDisplay::Option2_Click}, 2, "ビニング あり"},
      {{&FrameDisplay::Option2_Click, &FrameDisplay::Option1_Click}, 1, "ビニング なし"},
  };
  for (const Case& c : cases) {
    auto w = make_world();
    w->set_light(384, 256, 5);
    for (const auto click : c.clicks) (w->p.display.*click)();
    EXPECT_EQ(std::tuple(w->f.binning, w->p.form.Option1, w->p.form.Option2, w->p.form.Text7),
              std::tuple(c.binning, c.binning == 1, c.binning == 2, std::string(c.status)));
    // The frame in memory keeps its size.
    EXPECT_EQ(std::pair(w->f.light.width, w->f.light.height), std::pair(384, 256));
  }
}

}  // namespace
}  // namespace stellacq
