// Drawing a frame into the picture of the main window's image area.
#pragma once

#include "image/frames.h"

namespace stellacq {

// True when a light frame is in memory (both sizes non-zero).
bool light_frame_present(const Frames& frames);

// Screen column and row of frame pixel (x, y) for a frame of width x height:
// every frame lands in the same area of about 303 x 200 screen pixels.
int screen_x(int x, int width);
int screen_y(int y, int height);

// Clears `picture` and draws `frame`, one of `frames`, over the size it is
// used with (Frames::used_width/used_height) in grey under the display
// levels of `frames`. Where several frame pixels fall on one screen pixel the
// one with the largest y, then the largest x, shows. Sizes are limited to
// the buffer's shape. The picture's content records the frame and levels.
void draw_frame(Picture& picture, const Frames& frames, const Frame& frame);

}  // namespace stellacq
