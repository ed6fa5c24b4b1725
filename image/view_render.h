// The frame as a zoomed view shows it: the grey levels of the frame mapped
// once (one byte a pixel, the only copy of the frame a view keeps) and the
// visible part of them rendered into a viewport-sized RGB32 picture.
#pragma once

#include <cstdint>
#include <vector>

#include "image/frames.h"
#include "image/zoom_view.h"

namespace stellacq {

struct GreyFrame {
  int width = 0, height = 0;
  std::vector<std::uint8_t> grey;  // row by row, width bytes a row
  std::uint8_t at(int x, int y) const { return grey[static_cast<std::size_t>(y) * width + x]; }
};

// Maps [0, width) x [0, height) of `counts` (held to the buffer's shape) by
// the grey mapping of the image area under `background` and `range`.
void map_grey(const FrameBuffer& counts, int width, int height, std::int32_t background, std::int32_t range,
              GreyFrame& out);

// Colour of the viewport where no frame lies.
inline constexpr std::uint32_t kViewGround = 0xFF303030u;

// Renders what `view` shows of `grey` into the viewport picture `out`
// (view.viewport_width() x view.viewport_height() pixels, `stride` pixels a
// row). At 100 % and above a screen pixel takes the frame pixel under its
// centre, so a frame pixel is a whole square; below 100 % it takes the mean
// of the frame pixels it covers.
void render_view(const GreyFrame& grey, const ZoomView& view, std::uint32_t* out, int stride);

}  // namespace stellacq
