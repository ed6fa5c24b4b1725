// Where a position of the image area falls in the light frame: the display
// mapping of the guide-star lock and the line profile, and the mapping of
// the cursor readout (Picture1_MouseMove, image/frame_display.h).
#pragma once

#include <optional>
#include <string>

#include "image/frames.h"

namespace stellacq {

// Frame column and row under a position (X, Y) of the image area whose scale
// width and height are W and H: Int(X / W * width * 384 / 382) and
// Int(Y / H * height * 256 / 254) in single precision, held inside the frame
// (positions past the right or bottom edge give the last column or row,
// negative ones 0). False when there is no light frame or no area.
bool frame_position(const Frames& frames, double X, double Y, double W, double H, int& cx, int& cy);

// The cursor readout of frame pixel (x, y): " x y count" of the light
// frame, each number with its sign position; nothing outside the light
// frame.
std::optional<std::string> cursor_readout(const Frames& frames, int x, int y);

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

}  // namespace stellacq
