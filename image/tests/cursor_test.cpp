// Cursor readout over the image area and the binning selector.
#include "image/cursor.h"

#include <gtest/gtest.h>

#include "image/tests/world.h"

namespace stellacq {
namespace {

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
      {0, 0, 304, 768, " 0 0-5"}, {152, 100.5, 304, 768, " 386 258 4118"},  // 386.02, 258.02
      {151.2, 99.7, 304, 768, " 383 255 4085"},  // 383.98, 255.96
      {304, 201, 304, 768, " 767 511 8181"}, {1e30, 1e30, 304, 768, " 767 511 8181"},  // past the edge
      {-3, -0.5, 304, 768, " 0 0-5"}, {300, 0, 304, 5000, " 1536 0 15360"},
      {10, 10, 0, 768, "before"}, {10, 10, 304, 0, "before"}};  // no area, no frame
  // clang-format on
  for (const Case& c : cases) {
    auto w = testing::make_world();
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < kFrameColumns; ++x) w->f.light_frame.at(x, y) = 10 * x + y;
    w->f.light_frame.at(0, 0) = -5;
    w->f.image_width = c.width;
    w->f.image_height = 512;
    w->p.form.Label1 = "before";
    Picture1_MouseMove(w->p, c.X, c.Y, c.W, 201);
    EXPECT_EQ(w->p.form.Label1, c.label) << c.X << ", " << c.Y;
  }
}

TEST(BinningSelector, OptionsSetBinningAndStatus) {
  auto w = testing::make_world();
  Option1_Click(w->p);
  EXPECT_EQ(w->f.binning, 1);
  EXPECT_EQ(w->ui.last_status(), "ビニング なし");
  EXPECT_TRUE(w->p.form.Option1 && !w->p.form.Option2);
  Option2_Click(w->p);
  EXPECT_EQ(w->f.binning, 2);
  EXPECT_EQ(w->p.form.Text7, "ビニング あり");
  EXPECT_TRUE(!w->p.form.Option1 && w->p.form.Option2);
}

}  // namespace
}  // namespace stellacq
