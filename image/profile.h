// The line profile: the counts of 51 neighbouring pixels of one row of the
// light frame, plotted point by point in the graph window. The point comes
// from a Shift-click on the image area; the graph's buttons move the row,
// zoom the plot vertically and shift it up or down.
//
// Reads the light frame, its size and scan_max/scan_min as they stand;
// writes the profile point and the graph's picture. No window and no device
// is touched here.
#pragma once

#include <cstdint>
#include <vector>

#include "image/frames.h"

namespace stellacq {

inline constexpr int kProfilePoints = 51;

// Frame pixel (column, row) whose row the line-profile graph plots; set by a
// Shift-click on the image area, moved by the graph's Line buttons.
struct ProfilePoint {
  int profile_x = 0;
  int profile_y = 0;
};

// The plot area of the graph window as an RGB32 picture on a white ground.
// Its scale runs 0..51 across (point k at k) and 0..300 down; with zoom 1
// and level 0 the counts from scan_min to scan_max plot from 270 up to 14.
struct ProfilePlot {
  static constexpr double kScaleWidth = 51;
  static constexpr double kScaleHeight = 300;
  static constexpr int kWidth = 306;   // 6 pixels a unit across
  static constexpr int kHeight = 300;  // 1 pixel a unit down
  static constexpr std::uint32_t kGround = 0xFFFFFFFFu;
  static constexpr std::uint32_t kPoint = 0xFF000000u;
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight, kGround);

  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * kWidth + x]; }
  void clear() { pixels.assign(pixels.size(), kGround); }
  // Sets one black pixel at (X, Y) in scale units; a point outside the area
  // (zoomed or shifted out of view) is not drawn.
  void set_point(double X, double Y);
};

// Vertical scale and shift of the plot; both start fresh when the graph
// window opens. A negative level moves the curve up.
struct ProfileGraph {
  double zoom = 1;
  double level = 0;
};

// The Shift-click: frame column floor(X x kx) and row floor(Y x ky) with
// kx = light.width / W x 384 / 382 and ky = light.height / H x 256 / 254 in
// single precision, W x H being the image area's scale extent. The point is
// held inside the frame (a click at the right or bottom edge maps past the
// last column or row), so the graph never reads outside the frame. False,
// and nothing set, without a light frame or an image area.
bool set_profile_point(const Frames& f, double X, double Y, double W, double H, ProfilePoint& point);

// First plotted column: profile_x - 25, moved so that all 51 columns lie in
// the frame. A frame narrower than 51 columns starts at 0.
int profile_start_column(int profile_x, int image_width);

// Plot height of a count: 300 - (Int((v - scan_min) / (scan_max - scan_min)
// x 256) + 30), 270 at scan_min and 14 at scan_max. When scan_max equals
// scan_min the frame has no spread to scale by, and every count plots at
// 270, on one line.
double profile_height(std::int32_t v, std::int32_t scan_min, std::int32_t scan_max);

// Clears the plot and sets one point per column, at (k, Int((h + level) x
// zoom)); the points are not joined. Columns outside a narrow frame are
// left out.
void draw_profile(const Frames& frames, const ProfilePoint& point, const ProfileGraph& graph,
                  ProfilePlot& plot);

// The graph's buttons. Line U moves to the next row (not past the last),
// Line D to the previous one (not below 0); Zoom U/D multiply/divide the
// zoom by 1.05; Level U lowers the level by 10 (the curve moves up), Level D
// raises it by 10.
void profile_line_up(ProfilePoint& point, const Frames& frames);
void profile_line_down(ProfilePoint& point);
void profile_zoom_up(ProfileGraph& graph);
void profile_zoom_down(ProfileGraph& graph);
void profile_level_up(ProfileGraph& graph);
void profile_level_down(ProfileGraph& graph);

}  // namespace stellacq
