// The guiding corrections: which half-width each search level measures with,
// and the timed moves that a star found at a level turns into.
//
// A guiding step measures at level 0 with the configured span and widens the
// search up to three times while the star is not found. A star found at a
// level is corrected with amounts scaled for that level (wider searches
// correct more cautiously), X (right ascension) before Y (declination):
//
//   level  half-width          X amount              Y amount           dead band
//   0      span                |dx|                  |dy|               5 with small_shift_ignore, else 0
//   1      s1 = floor(1.5 s)   4 x floor(0.5 |dx|)   floor(0.5 |dy|)    0
//   2      2 x s1              8 x floor(0.3 |dx|)   floor(0.3 |dy|)    0
//   3      image height        floor(0.3 |dx|)       floor(0.25 |dy|)   0
//
// An axis is moved when its amount is greater than the dead band and its
// tracking switch is on; each move is followed by its own settling wait.
// Pure functions of their inputs; nothing here touches the mount.
#pragma once

#include <vector>

#include "config/settings.h"
#include "telescope/direction.h"

namespace stellacq {

inline constexpr int kSearchLevels = 4;
// Clock-second changes waited after every move, so the mount settles before
// the next frame.
inline constexpr int kSettlingSeconds = 8;

// Half-width searched at `level` (0..3) for the configured span and the
// height of the light frame. Other levels give the configured span.
int level_span(int level, int search_span, int image_height);

struct GuideMove {
  Direction direction;
  int amount;  // move_amount of the timed move: busy counts = factor x amount + 1
  bool operator==(const GuideMove&) const = default;
};

// The moves, in order, for a star found at `level` with offset (dx, dy) =
// (star_x - guide_x, star_y - guide_y) in frame pixels (positive to the
// right and downwards): at most one X move (Right for a positive offset
// after reversal) then at most one Y move (Down for a positive offset after
// reversal). Uses x_reverse, y_reverse, x_tracking_on, y_tracking_on and
// small_shift_ignore.
std::vector<GuideMove> plan_correction(int level, int dx, int dy, const Settings& settings);

}  // namespace stellacq
