// The guide marker; see marker.h.
//
// Many frame pixels fall on one picture point (a full frame has about five
// columns per point), and the outline's corners are visited twice. Each
// picture point is therefore kept once, at its first visit: keeping it again
// would keep the marker's own green, and erasing would leave green points.
#include "guiding/marker.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/numeric.h"
#include "guiding/measure.h"

namespace stellacq {

namespace {

// Frame indices whose picture points may lie inside a picture of `points`
// points at `k` frame pixels per point (with a margin for rounding).
struct Reach {
  std::int64_t lo, hi;
  bool contains(std::int64_t v) const { return v >= lo && v <= hi; }
};
Reach reach(float k, int points) {
  return {-static_cast<std::int64_t>(std::ceil(k)) - 1,
          static_cast<std::int64_t>(std::ceil((points + 1) * k)) + 1};
}

}  // namespace

std::vector<PicturePoint> marker_points(int gx, int gy, int span, const DisplayScale& scale,
                                        int picture_width, int picture_height) {
  std::vector<PicturePoint> points;
  if (span < 0 || picture_width <= 0 || picture_height <= 0) return points;
  std::vector<bool> seen(static_cast<std::size_t>(picture_width) * static_cast<std::size_t>(picture_height));
  const auto visit = [&](std::int64_t x, std::int64_t y) {
    const double px = round_half_even(static_cast<double>(static_cast<float>(x) / scale.kx));
    const double py = round_half_even(static_cast<double>(static_cast<float>(y) / scale.ky));
    if (!(px >= 0 && px < picture_width && py >= 0 && py < picture_height)) return;
    const auto at =
        static_cast<std::size_t>(py) * static_cast<std::size_t>(picture_width) + static_cast<std::size_t>(px);
    if (seen[at]) return;
    seen[at] = true;
    points.push_back({static_cast<int>(px), static_cast<int>(py)});
  };
  // Only the part of the outline that can land in the picture is walked, so
  // a window as wide as the frame costs no more than the picture.
  const Reach rx = reach(scale.kx, picture_width);
  const Reach ry = reach(scale.ky, picture_height);
  const std::int64_t left = std::int64_t{gx} - span, right = std::int64_t{gx} + span;
  const std::int64_t top = std::int64_t{gy} - span, bottom = std::int64_t{gy} + span;
  const std::int64_t y0 = std::max(top, ry.lo), y1 = std::min(bottom, ry.hi);
  const std::int64_t x0 = std::max(left, rx.lo), x1 = std::min(right, rx.hi);
  for (const std::int64_t x : {left, right})
    if (rx.contains(x))
      for (std::int64_t y = y0; y <= y1; ++y) visit(x, y);
  for (const std::int64_t y : {top, bottom})
    if (ry.contains(y))
      for (std::int64_t x = x0; x <= x1; ++x) visit(x, y);
  return points;
}

}  // namespace stellacq
