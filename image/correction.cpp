// Dark subtraction and flat-field correction of the light frame.
//
// Both corrections walk the light frame over image_width x image_height,
// read the dark frame and the flat field at the same (x, y), keep the
// running extremes in scan_max/scan_min and end with them in
// light_max/light_min, like any other filling of the light frame.
#include "image/correction.h"

#include <algorithm>
#include <limits>

namespace stellacq {

namespace {

constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Nearest whole number, ties to even, of 0 <= t < 2^51: adding and taking
// away 2^52 leaves no fraction bits, and the addition rounds the way the
// FPU does by default, to nearest with ties to even (the program never
// changes the rounding mode). Same result as round_half_even, without its
// calls, in the per-pixel loop.
double nearest_even(double t) {
  constexpr double kShift = 4503599627370496.0;  // 2^52
  return (t + kShift) - kShift;                  // not an identity in IEEE arithmetic
}

template <typename Rule>
void rewrite_light(Frames& f, Rule rule) {
  const int columns = std::clamp(f.image_width, 0, kFrameColumns);
  const int rows = std::clamp(f.image_height, 0, kFrameRows);
  std::int32_t scan_max = -1;
  std::int32_t scan_min = kMaxCount;
  for (int y = 0; y < rows; ++y) {
    std::int32_t* light = f.light_frame.row(y);
    for (int x = 0; x < columns; ++x) {
      const std::int32_t v = rule(light[x], x, y);
      light[x] = v;
      if (v > scan_max) scan_max = v;
      if (v < scan_min) scan_min = v;
    }
  }
  f.scan_max = scan_max;
  f.scan_min = scan_min;
  f.light_max = scan_max;
  f.light_min = scan_min;
}

}  // namespace

void subtract_dark(Frames& frames) {
  const FrameBuffer& dark = frames.dark_frame;
  rewrite_light(frames, [&dark](std::int32_t light, int x, int y) {
    const std::int64_t v = std::int64_t{light} - dark.at(x, y) + kDarkPedestal;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, kMaxCount));
  });
}

void divide_flat(Frames& frames) {
  const FrameBuffer& flat = frames.flat_frame;
  const double mean = frames.flat_mean;
  rewrite_light(frames, [&flat, mean](std::int32_t light, int x, int y) {
    const std::int32_t f = flat.at(x, y);
    if (f <= 0) return light;
    double t = static_cast<double>(light) / f * mean;
    if (!(t > 0)) return 0;  // every negative t rounds to 0 or below
    if (t > kMaxCount) t = kMaxCount;
    return static_cast<std::int32_t>(nearest_even(t));
  });
}

}  // namespace stellacq
