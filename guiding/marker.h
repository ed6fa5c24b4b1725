// The guide marker: the outline of the search window drawn in green over the
// picture of the image area.
//
// draw_guide_marker reads the guide state (guide_locked, guide_x, guide_y),
// the search span and the light frame's size; it writes the picture and
// keeps the colours it covered in the guide state's marker_saved.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "guiding/guide_state.h"
#include "image/cursor.h"
#include "image/frames.h"

namespace stellacq {

// Colour of the marker: red 0, green 200, blue 0.
inline constexpr std::uint32_t kMarkerGreen = 0xFF00C800u;

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
