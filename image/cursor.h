// Where a position of the image area falls in the light frame: the mapping
// of the cursor readout (Picture1_MouseMove, image/commands.h).
#pragma once

#include "image/frames.h"

namespace stellacq {

// Frame column and row under a position (X, Y) of the image area whose scale
// width and height are W and H: Int(X / W * width * 384 / 382) and
// Int(Y / H * height * 256 / 254) in single precision, held inside the frame
// (positions past the right or bottom edge give the last column or row,
// negative ones 0). False when there is no light frame or no area.
bool frame_position(const Frames& frames, double X, double Y, double W, double H, int& cx, int& cy);

}  // namespace stellacq
