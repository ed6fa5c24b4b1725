// Arithmetic of the histogram window: the 300-bar histogram of the light
// frame and black- and white-point clicks turned into working levels. The
// window's OK is histogram_ok (image/frame_display.h).
//
// Reads the light frame, its size and scan_max/scan_min as they stand when
// the window opens.
#pragma once

#include <cstdint>
#include <string>

#include "image/auto_level.h"
#include "image/frames.h"

namespace stellacq {

// The window's state from opening to closing. Positions are in the
// histogram picture's horizontal units: 300 across, bar i at i.
struct HistogramWindowState {
  Histogram bins{};
  std::int64_t scale_height = 1;  // largest of bins 0..299, plus 1
  std::int32_t working_background = 0;
  std::int32_t working_range = 0;
  double background_marker = 0;
  double white_marker = 0;
};

// Builds the histogram of the light frame and takes the current levels as
// the working ones.
HistogramWindowState open_histogram(const Frames& frames);

// The count a click at position X stands for: X / 300 of the way from
// scan_min to scan_max, rounded with ties to even.
std::int32_t click_value(const Frames& frames, double X);

// What a click asks the window to draw: a white line at the old marker, the
// bar of `redraw_bin` again, a black line at the new marker.
struct MarkerMove {
  double erased_at = 0;
  int redraw_bin = 0;
  double drawn_at = 0;
};

// A left click moves the black point and keeps the white point where it is
// (the range grows by what the background loses); any other button moves
// the white point. Updates the working levels and the marker.
MarkerMove histogram_click(HistogramWindowState& state, const Frames& frames, bool left_button, double X);

}  // namespace stellacq
