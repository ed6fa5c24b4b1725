// Histogram window arithmetic: bins, clicks and OK, without any window.
#include "image/histogram.h"

#include <algorithm>
#include <cmath>

#include "core/numeric.h"
#include "image/display.h"

namespace stellacq {

HistogramWindowState open_histogram(const Frames& frames) {
  HistogramWindowState state;
  state.bins =
      level_histogram(frames, frames.light, frames.scan_min, frames.scan_max, BinFormula::kHistogramWindow);
  std::int64_t largest = 0;
  for (int i = 0; i < 300; ++i) largest = std::max(largest, state.bins[i]);
  state.scale_height = largest + 1;
  state.working_background = frames.display_background;
  state.working_range = frames.display_range;
  return state;
}

std::int32_t click_value(const Frames& frames, double X) {
  const double span = static_cast<double>(frames.scan_max) - static_cast<double>(frames.scan_min);
  return clamp_to_int32(round_half_even(span * X / 300 + frames.scan_min));
}

MarkerMove histogram_click(HistogramWindowState& state, const Frames& frames, bool left_button, double X) {
  const std::int32_t value = click_value(frames, X);
  double& marker = left_button ? state.background_marker : state.white_marker;
  MarkerMove move;
  move.erased_at = marker;
  move.redraw_bin = static_cast<int>(std::clamp(round_half_even(marker), 0.0, 300.0));
  move.drawn_at = X;
  marker = X;
  if (left_button) {
    state.working_range =
        clamp_to_int32(static_cast<double>(state.working_range) + state.working_background - value);
    state.working_background = value;
  } else {
    state.working_range = clamp_to_int32(static_cast<double>(value) - state.working_background);
  }
  return move;
}

}  // namespace stellacq
