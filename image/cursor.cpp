// Cursor readout and binning selector.
//
// The image area shows every frame in about 382 x 254 of its 384 x 256
// nominal units, so a position is scaled by 384 / 382 across and 256 / 254
// down before it is turned into a frame column and row.
#include "image/cursor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/numeric.h"

namespace stellacq {

namespace {

int floor_to_int(float value) {
  if (!(value > static_cast<float>(std::numeric_limits<int>::min()))) return std::numeric_limits<int>::min();
  if (value >= static_cast<float>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(std::floor(value));
}

// Int of a single-precision coordinate, held inside 0..last.
int held_index(float value, int last) {
  if (!(value >= 0.0f)) return 0;  // negative or NaN
  if (value >= static_cast<float>(last)) return last;
  return std::min(static_cast<int>(std::floor(value)), last);
}

}  // namespace

bool frame_position(const Frames& frames, double X, double Y, double W, double H, int& cx, int& cy) {
  if (frames.light.width <= 0 || frames.light.height <= 0) return false;
  if (!(W > 0) || !(H > 0)) return false;
  const int width = std::min(frames.light.width, kFrameColumns);
  const int height = std::min(frames.light.height, kFrameRows);
  const float fx = static_cast<float>(X) / static_cast<float>(W) * static_cast<float>(frames.light.width) *
                   384.0f / 382.0f;
  const float fy = static_cast<float>(Y) / static_cast<float>(H) * static_cast<float>(frames.light.height) *
                   256.0f / 254.0f;
  cx = held_index(fx, width - 1);
  cy = held_index(fy, height - 1);
  return true;
}

std::optional<std::string> cursor_readout(const Frames& frames, int x, int y) {
  const int width = std::min(frames.light.width, kFrameColumns);
  const int height = std::min(frames.light.height, kFrameRows);
  if (x < 0 || x >= width || y < 0 || y >= height) return std::nullopt;
  return decimal_text(x) + decimal_text(y) + decimal_text(frames.light.counts.at(x, y));
}

std::optional<DisplayScale> display_scale(int width, int height, double scale_width, double scale_height) {
  if (width <= 0 || height <= 0 || !(scale_width > 0) || !(scale_height > 0)) return std::nullopt;
  DisplayScale s;
  s.kx = static_cast<float>(static_cast<double>(width) / scale_width * 384 / 382);
  s.ky = static_cast<float>(static_cast<double>(height) / scale_height * 256 / 254);
  return s;
}

int frame_column(double X, const DisplayScale& scale) {
  return floor_to_int(static_cast<float>(X) * scale.kx);
}
int frame_row(double Y, const DisplayScale& scale) { return floor_to_int(static_cast<float>(Y) * scale.ky); }

}  // namespace stellacq
