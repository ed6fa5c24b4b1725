// The zoomed view: screen <-> frame at several zooms and after a pan, the
// zoom steps and their texts, zooming around the pointer, and what the
// rendered viewport shows.
#include "image/zoom_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "image/view_render.h"

namespace stellacq {
namespace {

ZoomView view_of(int fw, int fh, int vw, int vh) {
  ZoomView v;
  v.set_frame(fw, fh);
  v.set_viewport(vw, vh);
  return v;
}

TEST(ZoomView, FitCentresTheWholeFrameAndMapsBothWays) {
  ZoomView v = view_of(1536, 1024, 800, 600);  // 800 / 1536 = 52.08 %
  EXPECT_EQ(v.zoom_text(), "fit 52%");
  EXPECT_EQ(v.content_width(), 800);
  EXPECT_EQ(v.content_height(), 534);
  EXPECT_EQ(v.max_scroll_x() + v.max_scroll_y(), 0);
  const ViewPoint corner = v.to_screen({1536, 1024});
  EXPECT_DOUBLE_EQ(corner.x, 800);
  EXPECT_DOUBLE_EQ(corner.y, 33 + 1024 * 800.0 / 1536);  // (600 - 534) / 2 above and below
  const ViewPoint back = v.to_frame(v.to_screen({412.25, 288.75}));
  EXPECT_DOUBLE_EQ(back.x, 412.25);
  EXPECT_DOUBLE_EQ(back.y, 288.75);
  v.pan(100, 100);  // nothing to pan while the whole frame shows
  EXPECT_DOUBLE_EQ(v.to_frame({0, 33}).x, 0);
  // A small frame in a big window stops at 800 %.
  EXPECT_EQ(view_of(50, 40, 1000, 1000).zoom_text(), "fit 800%");
}

TEST(ZoomView, StepsFromFitAndBetweenTheLimits) {
  ZoomView v = view_of(1536, 1024, 800, 600);
  const ViewPoint centre{400, 300};
  v.zoom_in(centre);
  EXPECT_EQ(v.zoom_text(), "100%");
  v.fit();
  v.zoom_out(centre);  // 50 % is too near 52 % to count as a step down
  EXPECT_EQ(v.zoom_text(), "25%");
  std::vector<std::string> texts;
  for (int i = 0; i < 5; ++i) {
    v.zoom_out(centre);
    texts.push_back(v.zoom_text());
  }
  EXPECT_EQ(texts, std::vector<std::string>(5, "12.5%"));
  texts.clear();
  for (int i = 0; i < 8; ++i) {
    v.zoom_in(centre);
    texts.push_back(v.zoom_text());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"25%", "50%", "100%", "200%", "400%", "800%", "800%", "800%"}));
  v.set_step(-7, centre);
  EXPECT_EQ(v.zoom_text(), "12.5%");
  // A fit just below or above a step skips it: 49.8 % and 51.3 % go up to
  // 100 % and down to 25 %.
  for (const auto& [width, in, out] : {std::tuple(765, "100%", "25%"), std::tuple(788, "100%", "25%")}) {
    ZoomView near = view_of(1536, 1024, width, 600);
    near.zoom_in(centre);
    EXPECT_EQ(near.zoom_text(), in);
    near.fit();
    near.zoom_out(centre);
    EXPECT_EQ(near.zoom_text(), out);
  }
}

TEST(ZoomView, ZoomKeepsThePointUnderThePointerAndPanMovesTheFrame) {
  ZoomView v = view_of(1536, 1024, 800, 600);
  const ViewPoint pointer{250, 170};
  const ViewPoint under = v.to_frame(pointer);
  for (const int step : {0, 2, 3, 1}) {  // the frame overfills the window at each
    v.set_step(step, pointer);
    const ViewPoint now = v.to_frame(pointer);
    EXPECT_NEAR(now.x, under.x, 1 / v.zoom());  // within one screen pixel
    EXPECT_NEAR(now.y, under.y, 1 / v.zoom());
  }
  // 400 % with the frame pixel (100, 50) at the top-left: each pixel is a
  // 4 x 4 square; a drag of 40 screen pixels right and 20 down shows 10
  // and 5 pixels further left and up.
  v.set_step(2, {0, 0});
  v.scroll_to(400, 200);
  EXPECT_EQ(v.zoom_text(), "400%");
  EXPECT_DOUBLE_EQ(v.to_frame({0, 0}).x, 100);
  EXPECT_DOUBLE_EQ(v.to_frame({3.9, 3.9}).y, 50.975);
  EXPECT_DOUBLE_EQ(v.to_screen({101, 51}).x, 4);
  v.pan(40, 20);
  EXPECT_DOUBLE_EQ(v.to_frame({0, 0}).x, 90);
  EXPECT_DOUBLE_EQ(v.to_frame({0, 0}).y, 45);
  // Held to the frame: never before its start nor past its end.
  v.pan(100000, -100000);
  EXPECT_EQ(std::pair(v.scroll_x(), v.scroll_y()), std::pair(0, 1024 * 4 - 600));
  // A smaller window keeps the frame point at its centre.
  v.scroll_to(2000, 1000);
  const ViewPoint centre = v.to_frame({400, 300});
  v.set_viewport(400, 300);
  EXPECT_DOUBLE_EQ(v.to_frame({200, 150}).x, centre.x);
  EXPECT_DOUBLE_EQ(v.to_frame({200, 150}).y, centre.y);
}

TEST(ViewRender, WholeSquaresAbove100AndMeansBelow) {
  const auto counts = std::make_unique<FrameBuffer>();
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) counts->at(x, y) = 1000;
  counts->at(10, 20) = 5000;  // a hot pixel
  GreyFrame grey;
  map_grey(*counts, 64, 64, 1000, 1000, grey);  // 1000 -> 0, 5000 -> 255
  ASSERT_EQ(grey.grey.size(), 64u * 64u);
  EXPECT_EQ(grey.at(10, 20), 255);
  EXPECT_EQ(grey.at(11, 20), 0);

  ZoomView v = view_of(64, 64, 40, 40);
  v.set_step(2, {0, 0});
  v.scroll_to(32, 72);  // frame pixel (8, 18) at the top-left
  std::vector<std::uint32_t> out(40 * 40);
  render_view(grey, v, out.data(), 40);
  int lit = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool in_square = x >= 8 && x < 12 && y >= 8 && y < 12;
      EXPECT_EQ(out[static_cast<std::size_t>(y * 40 + x)], in_square ? 0xFFFFFFFFu : 0xFF000000u)
          << x << " " << y;
      lit += in_square;
    }
  EXPECT_EQ(lit, 16);

  // 50 %: the screen pixel over (10..11, 20..21) shows a quarter of 255;
  // beyond the frame the viewport's ground.
  v = view_of(64, 64, 40, 40);
  v.set_step(-1, {0, 0});
  render_view(grey, v, out.data(), 40);
  const int left = (40 - 32) / 2;
  EXPECT_EQ(out[static_cast<std::size_t>((left + 10) * 40 + left + 5)], 0xFF404040u);
  EXPECT_EQ(out[0], kViewGround);
}

}  // namespace
}  // namespace stellacq
