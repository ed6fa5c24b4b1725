// Cursor readout over the image area and the binning selector.
#include "image/cursor.h"

#include <gtest/gtest.h>

#include "image/tests/world.h"

namespace stellacq {
namespace {

using testing::make_world;

TEST(CursorReadout, PositionsToColumnRowAndCount) {
  struct Case {
    double X, Y;
    const char* label;
  };
  // 768 x 512 frame in an area of 304 x 201 units; count = 10 * x + y,
  // except (0, 0) = -5.
  const Case cases[] = {
      {0, 0, " 0 0-5"},
      {152, 100.5, " 386 258 4118"},   // 386.02, 258.02
      {151.2, 99.7, " 383 255 4085"},  // 383.98, 255.96: Int rounds down
      {304, 201, " 767 511 8181"},     // 772, 516: past the edge -> last column, row
      {-3, -0.5, " 0 0-5"},
      {1e30, 1e30, " 767 511 8181"},
  };
  for (const Case& c : cases) {
    auto w = make_world();
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 768; ++x) w->p.frames.light_frame.at(x, y) = 10 * x + y;
    w->p.frames.light_frame.at(0, 0) = -5;
    w->p.frames.image_width = 768;
    w->p.frames.image_height = 512;
    Picture1_MouseMove(w->p, c.X, c.Y, 304, 201);
    EXPECT_EQ(w->p.form.Label1, c.label) << c.X << ", " << c.Y;
  }
}

TEST(CursorReadout, NoFrameOrNoAreaLeavesLabel) {
  auto w = make_world();
  w->p.form.Label1 = "before";
  Picture1_MouseMove(w->p, 10, 10, 304, 201);
  EXPECT_EQ(w->p.form.Label1, "before");
  w->p.frames.image_width = 768;
  Picture1_MouseMove(w->p, 10, 10, 304, 201);  // height still 0
  EXPECT_EQ(w->p.form.Label1, "before");
  w->p.frames.image_height = 512;
  Picture1_MouseMove(w->p, 10, 10, 0, 201);
  EXPECT_EQ(w->p.form.Label1, "before");
}

TEST(CursorReadout, SizesBeyondTheBufferReadInsideIt) {
  auto w = make_world();
  w->p.frames.image_width = 5000;
  w->p.frames.image_height = 5000;
  w->p.frames.light_frame.at(kFrameColumns - 1, kFrameRows - 1) = 42;
  Picture1_MouseMove(w->p, 300, 200, 304, 201);
  EXPECT_EQ(w->p.form.Label1, " 1536 1024 42");
}

TEST(BinningSelector, OptionsSetBinningAndStatus) {
  auto w = make_world();
  Option1_Click(w->p);
  EXPECT_EQ(w->p.frames.binning, 1);
  EXPECT_TRUE(w->p.form.Option1);
  EXPECT_FALSE(w->p.form.Option2);
  EXPECT_EQ(w->p.form.Text7, "ビニング なし");
  Option2_Click(w->p);
  EXPECT_EQ(w->p.frames.binning, 2);
  EXPECT_FALSE(w->p.form.Option1);
  EXPECT_TRUE(w->p.form.Option2);
  EXPECT_EQ(w->p.form.Text7, "ビニング あり");
  EXPECT_EQ(w->ui.last_status(), "ビニング あり");
  EXPECT_EQ(w->ui.statuses.size(), 2u);
}

}  // namespace
}  // namespace stellacq
