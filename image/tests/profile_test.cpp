// The line profile: the Shift-click mapping, the plotted columns and
// heights with zoom and level, a frame without spread, and the buttons.
#include "image/profile.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::make_world;
using Points = std::vector<std::pair<int, int>>;

// Black pixels of the plot as (column, row), row by row.
Points points(const ProfilePlot& plot) {
  Points found;
  for (int y = 0; y < ProfilePlot::kHeight; ++y)
    for (int x = 0; x < ProfilePlot::kWidth; ++x)
      if (plot.at(x, y) == ProfilePlot::kPoint) found.emplace_back(x, y);
  return found;
}

TEST(ProfilePoint, ClickMapsBySinglePrecisionInsideTheFrame) {
  const int rows[][6] = {
      // width, height, X, Y (image area 304 x 201) -> column, row
      {768, 512, 100, 100, 253, 256},      // 100 x 768/304 x 384/382 = 253.9
      {1536, 1024, 303, 200, 1535, 1023},  // 1538, 1026 lie past the frame
      {384, 256, -3, -1, 0, 0},
  };
  for (const auto& [width, height, X, Y, x, y] : rows) {
    auto w = make_world();
    w->set_light(width, height, 0);
    ASSERT_TRUE(set_profile_point(w->f, X, Y, 304, 201, w->p.profile));
    EXPECT_EQ(std::pair(w->p.profile.profile_x, w->p.profile.profile_y), std::pair(x, y)) << X << ", " << Y;
  }
  auto w = make_world();  // no frame: nothing is set
  EXPECT_FALSE(set_profile_point(w->f, 100, 100, 304, 201, w->p.profile));
  EXPECT_EQ(w->p.profile.profile_x, 0);
  const int starts[][3] = {{10, 768, 0}, {400, 768, 375}, {761, 768, 717}, {5, 30, 0}};
  for (const auto& [x, width, start] : starts) EXPECT_EQ(profile_start_column(x, width), start) << x;
}

TEST(ProfileDrawing, HeightsZoomAndLevel) {
  auto w = make_world();
  w->set_light(768, 512, 228);  // halfway: 300 - (128 + 30) = 142
  w->f.scan_min = 100;
  w->f.scan_max = 356;
  w->f.light.counts.at(717, 40) = 100;  // scan_min plots at 270
  w->f.light.counts.at(718, 40) = 356;  // scan_max at 14
  const struct {
    ProfileGraph graph;
    std::size_t count;
    std::pair<int, int> first, last;
  } rows[] = {
      {{1, 0}, 51, {6, 14}, {0, 270}},
      {{1, -10}, 51, {6, 4}, {0, 260}},          // Level U moves the curve up
      {{1.157625, 0}, 50, {6, 16}, {300, 164}},  // 270 x 1.157625 = 312.6: out of view
  };
  ProfilePlot plot;
  for (const auto& r : rows) {
    draw_profile(w->f, ProfilePoint{761, 40}, r.graph, plot);
    const Points drawn = points(plot);
    ASSERT_EQ(drawn.size(), r.count) << r.graph.zoom;
    EXPECT_EQ(drawn.front(), r.first);
    EXPECT_EQ(drawn.back(), r.last);
  }
}

TEST(ProfileDrawing, FrameWithoutSpreadPlotsOnOneLineAndNarrowFramesFit) {
  auto w = make_world();
  w->set_light(100, 50, 500);
  w->f.light.counts.at(30, 3) = 9000;  // even a count beyond the extremes
  w->f.scan_min = w->f.scan_max = 500;
  ProfilePlot plot;
  draw_profile(w->f, ProfilePoint{30, 3}, ProfileGraph{}, plot);
  const Points drawn = points(plot);  // row by row: all on row 270
  EXPECT_EQ(drawn.size(), 51u);
  EXPECT_EQ(std::pair(drawn.front().second, drawn.back().second), std::pair(270, 270));

  // 20 columns only; the extreme counts plot far out of view, 0 at 270.
  w->set_light(20, 5, std::numeric_limits<std::int32_t>::max());
  w->f.light.counts.at(3, 4) = std::numeric_limits<std::int32_t>::min();
  w->f.light.counts.at(4, 4) = 0;
  w->f.scan_min = 0;
  w->f.scan_max = 1;
  draw_profile(w->f, ProfilePoint{10, 4}, ProfileGraph{}, plot);
  EXPECT_EQ(points(plot), (Points{{24, 270}}));
}

TEST(ProfileButtons, RowStaysInTheFrameAndZoomReturns) {
  auto w = make_world();
  w->set_light(384, 256, 0);
  ProfilePoint point{0, 254};
  profile_line_up(point, w->f);
  profile_line_up(point, w->f);
  EXPECT_EQ(point.profile_y, 255);
  point.profile_y = 1;
  profile_line_down(point);
  profile_line_down(point);
  EXPECT_EQ(point.profile_y, 0);
  ProfileGraph graph;
  for (int i = 0; i < 3; ++i) profile_zoom_up(graph), profile_level_up(graph);
  EXPECT_NEAR(graph.zoom, 1.157625, 1e-12);
  EXPECT_EQ(graph.level, -30);  // Level U moves the curve up
  for (int i = 0; i < 3; ++i) profile_zoom_down(graph), profile_level_down(graph);
  EXPECT_NEAR(graph.zoom, 1.0, 1e-12);
  EXPECT_EQ(graph.level, 0);
}

}  // namespace
}  // namespace stellacq
