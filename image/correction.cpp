// Dark subtraction and flat-field correction of the light frame, and the
// display of the dark frame and the flat field.
//
// Both corrections walk the light frame over image_width x image_height,
// read the dark frame and the flat field at the same (x, y), keep the
// running extremes in scan_max/scan_min and end with them in
// light_max/light_min, like any other filling of the light frame.
#include "image/correction.h"

#include <algorithm>
#include <limits>

#include "image/display.h"

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

// The flat commands need a flat field and, with it, a frame size.
bool flat_ready(Program& p) {
  if (p.frames.flat_loaded == 0) {
    p.ui.message_box(kNoFlatFile);
    return false;
  }
  if (!light_frame_present(p.frames)) {
    p.ui.message_box(kNoDataFile);
    return false;
  }
  return true;
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

void image_menu_display_dark_Click(Program& p) {
  if (p.frames.dark_width == 0 || p.frames.dark_height == 0) {
    p.ui.message_box(kNoDarkFile);
    return;
  }
  p.ui.busy_pointer(true);
  show_auto_levelled(p, DisplaySource::Dark, false);
}

// The corrected light frame is shown like a fresh download: its new
// extremes, fresh levels, the captions left as they were.
void image_menu_display_dark_sub_Click(Program& p) {
  const Frames& f = p.frames;
  if (!light_frame_present(f) || f.dark_width == 0 || f.dark_height == 0) {
    p.ui.message_box(kNoDataFile);
    return;
  }
  p.ui.busy_pointer(true);
  subtract_dark(p.frames);
  show_auto_levelled(p, DisplaySource::Light, false);
}

void image_menu_display_flat_Click(Program& p) {
  if (!flat_ready(p)) return;
  p.ui.busy_pointer(true);
  show_auto_levelled(p, DisplaySource::Flat, true);
}

void image_menu_display_flat_sub_Click(Program& p) {
  if (!flat_ready(p)) return;
  p.ui.busy_pointer(true);
  divide_flat(p.frames);
  show_auto_levelled(p, DisplaySource::Light, false);
}

}  // namespace stellacq
