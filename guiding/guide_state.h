// Run-time state of auto-guiding: the lock, the locked position and the
// result of the last measurement of the guide star.
#pragma once

#include <cstdint>

namespace stellacq {

struct GuideState {
  std::int16_t guide_locked = 0;
  int guide_x = 0, guide_y = 0;  // locked position, frame pixels
  int star_x = 0, star_y = 0;    // best aperture box of the last measurement
  double star_sum = 0;
  double sky_sum = 0;
};

}  // namespace stellacq
