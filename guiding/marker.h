// The display mapping between the image area and frame pixels, and the guide
// marker: the outline of the search window drawn in green over the picture.
//
// draw_guide_marker reads p.guide (guide_locked, guide_x, guide_y), the
// configured search span and the light frame's size; it writes p.picture and
// keeps the colours it covered in p.guide.marker_saved.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "guiding/guide_state.h"
#include "image/frames.h"

namespace stellacq {

// Colour of the marker: red 0, green 200, blue 0.
inline constexpr std::uint32_t kMarkerGreen = 0xFF00C800u;

// Frame pixels per unit of the image area, in single precision: the frame
// fills about 382 x 254 of every 384 x 256 units of the area, so
// kx = width / scale_width x 384 / 382 and ky = height / scale_height x
// 256 / 254.
struct DisplayScale {
  float kx = 1.0f, ky = 1.0f;
};

// The scale for a frame of width x height on an area of scale_width x
// scale_height units; nothing when either is not positive.
std::optional<DisplayScale> display_scale(int width, int height, double scale_width, double scale_height);

// Frame column and row under the area point (X, Y): floor(X x kx),
// floor(Y x ky). Not held inside the frame: a point at the right or bottom
// edge maps beyond the last column or row.
int frame_column(double X, const DisplayScale& scale);
int frame_row(double Y, const DisplayScale& scale);

struct PicturePoint {
  int x = 0, y = 0;
  bool operator==(const PicturePoint&) const = default;
};

// The picture points of the outline of the square from (gx - span, gy - span)
// to (gx + span, gy + span): frame pixel (x, y) lands on the picture point
// nearest to (x / kx, y / ky). Visited in the order left column, right
// column (each downwards), top row, bottom row (each to the right); each
// picture point is listed once, at its first visit, and points outside the
// picture are left out.
std::vector<PicturePoint> marker_points(int gx, int gy, int span, const DisplayScale& scale,
                                        int picture_width, int picture_height);

}  // namespace stellacq
