// Search levels and correction amounts; see correction_plan.h.
#include "guiding/correction_plan.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace stellacq {

namespace {

// floor(scale x |offset|) as a whole amount; the products are taken in
// double precision, so 0.3 x 10 is 3.
int scaled(double scale, std::int64_t magnitude) {
  const double amount = std::floor(scale * static_cast<double>(magnitude));
  return amount > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                  : static_cast<int>(amount);
}

int clamp_int(std::int64_t v) {
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

struct LevelAmounts {
  int x, y, dead_band;
};

LevelAmounts amounts(int level, std::int64_t ax, std::int64_t ay, bool small_shift_ignore) {
  switch (level) {
    case 0:
      return {clamp_int(ax), clamp_int(ay), small_shift_ignore ? 5 : 0};
    case 1:
      return {clamp_int(std::int64_t{4} * scaled(0.5, ax)), scaled(0.5, ay), 0};
    case 2:
      return {clamp_int(std::int64_t{8} * scaled(0.3, ax)), scaled(0.3, ay), 0};
    default:
      return {scaled(0.3, ax), scaled(0.25, ay), 0};
  }
}

}  // namespace

int level_span(int level, int search_span, int image_height) {
  const std::int64_t s1 = static_cast<std::int64_t>(std::floor(1.5 * search_span));
  switch (level) {
    case 1:
      return clamp_int(s1);
    case 2:
      return clamp_int(2 * s1);
    case 3:
      return image_height;
    default:
      return search_span;
  }
}

std::vector<GuideMove> plan_correction(int level, int dx, int dy, const Settings& settings) {
  std::int64_t x = dx;
  std::int64_t y = dy;
  if (settings.x_reverse == 1) x = -x;
  if (settings.y_reverse == 1) y = -y;
  const LevelAmounts a = amounts(level, std::llabs(x), std::llabs(y), settings.small_shift_ignore == 1);

  std::vector<GuideMove> moves;
  // A non-zero amount implies a non-zero offset, so the direction is defined.
  if (a.x > a.dead_band && settings.x_tracking_on == 1 && a.x != 0)
    moves.push_back({x > 0 ? Direction::Right : Direction::Left, a.x});
  if (a.y > a.dead_band && settings.y_tracking_on == 1 && a.y != 0)
    moves.push_back({y < 0 ? Direction::Up : Direction::Down, a.y});
  return moves;
}

}  // namespace stellacq
