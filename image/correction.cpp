// Dark subtraction and flat-field correction of the light frame.
//
// Both corrections walk the light frame over its size, read the dark frame
// and the flat field at the same (x, y), keep the running extremes in
// scan_max/scan_min and end with them as the light frame's extremes, like
// any other filling of the light frame.
#include "image/correction.h"

#include <algorithm>
#include <limits>

namespace stellacq {

namespace {

constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Nearest whole number, ties to even, of 0 <= t < 2^52: adding and taking
// away 2^52 leaves no fraction bits, and the addition rounds the way the
// FPU does by default, to nearest with ties to even (the program never
// changes the rounding mode). Same result as round_half_even, without its
// calls, in the per-pixel loop. For any other t the result is 0 or below
// when t is negative and beyond 2^31 - 1 when t is, as the rounding never
// moves a number past another.
double nearest_even(double t) {
  constexpr double kShift = 4503599627370496.0;  // 2^52
  return (t + kShift) - kShift;                  // not an identity in IEEE arithmetic
}

// The extremes of the light frame as it is rewritten, row by row.
struct Extremes {
  std::int32_t max = -1;
  std::int32_t min = kMaxCount;
};

// light = light - dark + 100, clipped to 0..kMaxCount. Every operand and
// result is a whole number below 2^33, which a double holds exactly.
STELLACQ_PIXEL_LOOP void subtract_dark_row(std::int32_t* light, const std::int32_t* dark, int columns,
                                           Extremes& extremes) {
  std::int32_t max = extremes.max, min = extremes.min;
#pragma omp simd reduction(max : max) reduction(min : min)
  for (int x = 0; x < columns; ++x) {
    const double d = static_cast<double>(light[x]) - static_cast<double>(dark[x]) + kDarkPedestal;
    const std::int32_t v = static_cast<std::int32_t>(d > 0 ? (d < kMaxCount ? d : kMaxCount) : 0);
    light[x] = v;
    max = v > max ? v : max;
    min = v < min ? v : min;
  }
  extremes = {max, min};
}

// light = light / flat * mean as described in correction.h, with selects in
// place of branches (a flat pixel of 0 or less divides by 1, and its result
// is dropped), so that the loop runs on the vector unit with the same
// double arithmetic, and so the same results, as one pixel at a time. The
// extremes are taken in a second pass over the row, which the compiler
// vectorizes where it would not combine them with the division.
STELLACQ_PIXEL_LOOP void divide_flat_row(std::int32_t* light, const std::int32_t* flat, int columns,
                                         double mean, Extremes& extremes) {
#pragma omp simd
  for (int x = 0; x < columns; ++x) {
    const std::int32_t l = light[x], f = flat[x];
    const double t = static_cast<double>(l) / static_cast<double>(f > 0 ? f : 1) * mean;
    // Rounded first, then clipped: a t beyond the 32-bit range rounds to a
    // number beyond it too, a negative t to 0 or below, and a NaN stays one
    // (!(NaN > 0)), so every step runs on every pixel.
    const double rounded = nearest_even(t);
    const double positive = rounded > 0 ? rounded : 0;
    const auto corrected = static_cast<std::int32_t>(positive < kMaxCount ? positive : kMaxCount);
    light[x] = f > 0 ? corrected : l;
  }
  std::int32_t max = extremes.max, min = extremes.min;
#pragma omp simd reduction(max : max) reduction(min : min)
  for (int x = 0; x < columns; ++x) {
    max = light[x] > max ? light[x] : max;
    min = light[x] < min ? light[x] : min;
  }
  extremes = {max, min};
}

// Runs `row(light, other, columns, extremes)` over the light frame's rows
// with the same rows of `other`, and keeps the extremes.
template <typename Row>
void rewrite_light(Frames& f, const FrameBuffer& other, Row row) {
  const int columns = std::clamp(f.light.width, 0, kFrameColumns);
  const int rows = std::clamp(f.light.height, 0, kFrameRows);
  Extremes extremes;
  for (int y = 0; y < rows; ++y) row(f.light.counts.row(y), other.row(y), columns, extremes);
  f.scan_max = extremes.max;
  f.scan_min = extremes.min;
  f.light.max = extremes.max;
  f.light.min = extremes.min;
}

}  // namespace

void subtract_dark(Frames& frames) { rewrite_light(frames, frames.dark.counts, subtract_dark_row); }

void divide_flat(Frames& frames) {
  const double mean = frames.flat_mean;
  rewrite_light(frames, frames.flat.counts,
                [mean](std::int32_t* light, const std::int32_t* flat, int columns, Extremes& extremes) {
                  divide_flat_row(light, flat, columns, mean, extremes);
                });
}

}  // namespace stellacq
