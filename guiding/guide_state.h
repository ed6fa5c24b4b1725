// Run-time state of auto-guiding: the lock, the locked position, the result
// of the last measurement of the guide star, the marker drawn over the
// image area and the texts of the tracking status window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stellacq {

// A point of the image area and the colour it had before the marker covered it.
struct SavedPoint {
  int x = 0, y = 0;
  std::uint32_t colour = 0;
};

// Texts of the tracking status window (Form6): the span, aperture and
// threshold of the last measurement and its star/sky ratio; and, while the
// guiding steps of a series cannot guide, how many frames went unguided and
// why (empty once a step guides again).
struct TrackingStatusValues {
  std::string Label5, Label6, Label7, Label8;
  std::string unguided;
};

struct GuideState {
  std::int16_t guide_locked = 0;
  int guide_x = 0, guide_y = 0;  // locked position, frame pixels
  int star_x = 0, star_y = 0;    // best aperture box of the last measurement
  std::int64_t star_sum = 0;
  double sky_sum = 0;
  // Picture points under the drawn marker, in drawing order; empty while no
  // marker is drawn.
  std::vector<SavedPoint> marker_saved;
  TrackingStatusValues tracking_status;
  // Frames after which the guiding step could not guide, since it last did.
  int unguided_frames = 0;
};

}  // namespace stellacq
