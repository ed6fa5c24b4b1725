// The line profile: the Shift-click mapping, the first plotted column, the
// plotted heights with zoom and level, a frame without spread, and the
// graph's buttons.
#include "image/profile.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "image/tests/world.h"

namespace stellacq {
namespace {

using testing::make_world;

// Black pixels of the plot as (column, row).
std::vector<std::pair<int, int>> points(const ProfilePlot& plot) {
  std::vector<std::pair<int, int>> found;
  for (int y = 0; y < ProfilePlot::kHeight; ++y)
    for (int x = 0; x < ProfilePlot::kWidth; ++x)
      if (plot.at(x, y) == ProfilePlot::kPoint) found.emplace_back(x, y);
  return found;
}

TEST(ProfilePoint, ClickMapsBySinglePrecisionAndStaysInsideTheFrame) {
  struct Row {
    int width, height;
    double X, Y;
    int x, y;
  };
  const Row rows[] = {
      {768, 512, 100, 100, 253, 256},          // 100 x 768/304 x 384/382 = 253.9
      {768, 512, 4, 0.5, 10, 1},               // near the left edge
      {768, 512, 300, 100, 761, 256},          // near the right edge
      {1536, 1024, 303.9, 200.9, 1535, 1023},  // maps to 1543, 1031: held at the last pixel
      {384, 256, -3, -1, 0, 0},
  };
  for (const Row& r : rows) {
    auto w = make_world();
    w->set_light(r.width, r.height, 0);
    ASSERT_TRUE(set_profile_point(w->p, r.X, r.Y, 304, 201));
    EXPECT_EQ(std::pair(w->p.profile.profile_x, w->p.profile.profile_y), std::pair(r.x, r.y))
        << r.width << " at " << r.X << ", " << r.Y;
  }
  auto w = make_world();  // no frame: nothing is set
  w->p.profile = {7, 9};
  EXPECT_FALSE(set_profile_point(w->p, 100, 100, 304, 201));
  EXPECT_EQ(std::pair(w->p.profile.profile_x, w->p.profile.profile_y), std::pair(7, 9));
}

TEST(ProfilePoint, FirstColumnKeepsAllPointsInTheFrame) {
  const int rows[][3] = {{10, 768, 0}, {400, 768, 375}, {761, 768, 717}, {742, 768, 717}, {5, 30, 0}};
  for (const auto& [x, width, start] : rows) EXPECT_EQ(profile_start_column(x, width), start) << x;
}

TEST(ProfileDrawing, HeightsZoomAndLevel) {
  auto w = make_world();
  w->set_light(768, 512, 228);  // halfway: 300 - (128 + 30) = 142
  w->f.scan_min = 100;
  w->f.scan_max = 356;
  w->f.light_frame.at(717, 40) = 100;  // scan_min at 270
  w->f.light_frame.at(718, 40) = 356;  // scan_max at 14
  ProfilePlot plot;
  const ProfilePoint point{761, 40};

  draw_profile(w->f, point, ProfileGraph{}, plot);
  std::vector<std::pair<int, int>> drawn = points(plot);
  ASSERT_EQ(drawn.size(), 51u);
  EXPECT_EQ(drawn[0], std::pair(6, 14));    // column 718
  EXPECT_EQ(drawn[1], std::pair(12, 142));  // columns 719 to 767
  EXPECT_EQ(drawn[49], std::pair(300, 142));
  EXPECT_EQ(drawn.back(), std::pair(0, 270));  // column 717

  draw_profile(w->f, point, ProfileGraph{1.0, -10}, plot);  // the curve moves up, the old points go
  drawn = points(plot);
  EXPECT_EQ(drawn.size(), 51u);
  EXPECT_EQ(drawn.front(), std::pair(6, 4));
  EXPECT_EQ(drawn.back(), std::pair(0, 260));

  draw_profile(w->f, point, ProfileGraph{1.157625, 0}, plot);  // 270 x 1.157625 = 312.6: out of view
  drawn = points(plot);
  EXPECT_EQ(drawn.size(), 50u);
  EXPECT_EQ(drawn.front(), std::pair(6, 16));
  EXPECT_EQ(drawn.back(), std::pair(300, 164));
}

TEST(ProfileDrawing, FrameWithoutSpreadPlotsOnOneLine) {
  auto w = make_world();
  w->set_light(100, 50, 500);
  w->f.light_frame.at(30, 3) = 9000;  // a count outside the extremes still plots on the line
  w->f.scan_min = w->f.scan_max = 500;
  EXPECT_EQ(profile_height(500, 500, 500), 270);
  ProfilePlot plot;
  draw_profile(w->f, ProfilePoint{30, 3}, ProfileGraph{}, plot);
  const std::vector<std::pair<int, int>> drawn = points(plot);
  ASSERT_EQ(drawn.size(), 51u);
  for (const auto& [x, y] : drawn) EXPECT_EQ(y, 270) << x;
}

TEST(ProfileDrawing, ExtremeCountsAndNarrowFramesDrawOnlyWhatFits) {
  auto w = make_world();
  w->set_light(20, 5, std::numeric_limits<std::int32_t>::max());
  w->f.light_frame.at(3, 4) = std::numeric_limits<std::int32_t>::min();
  w->f.light_frame.at(4, 4) = 0;
  w->f.scan_min = 0;
  w->f.scan_max = 1;
  ProfilePlot plot;
  draw_profile(w->f, ProfilePoint{10, 4}, ProfileGraph{}, plot);
  // 20 columns only; the two extremes plot far out of view, 0 at 270.
  EXPECT_EQ(points(plot), (std::vector<std::pair<int, int>>{{24, 270}}));
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
  for (int i = 0; i < 3; ++i) profile_zoom_up(graph);
  EXPECT_NEAR(graph.zoom, 1.157625, 1e-12);
  for (int i = 0; i < 3; ++i) profile_zoom_down(graph);
  EXPECT_NEAR(graph.zoom, 1.0, 1e-12);
  profile_level_up(graph);
  profile_level_up(graph);
  profile_level_down(graph);
  EXPECT_EQ(graph.level, -10);
}

}  // namespace
}  // namespace stellacq
