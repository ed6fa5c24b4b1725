// Guide-star measurement: the brightest aperture-sized box in a search window
// around the locked position, and the sky around it.
//
// The kernel takes a frame and a few numbers and returns the measurement;
// the lock click and the guiding step run it on the light frame around
// (guide_x, guide_y) and show its result in the guide state and the
// tracking status window.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "image/frames.h"

namespace stellacq {

struct GuideMeasurement {
  // Centre of the best aperture box; the previous position when no box sums
  // to more than 0.
  int star_x = 0, star_y = 0;
  // Sum of the frame over the best box; 0 when no box sums to more than 0.
  std::int64_t star_sum = 0;
  // Light of the search window outside the best box, scaled to the area of
  // one box: (total - star_sum) x (2a + 1)^2 / (N - (2a + 1)^2), where N is
  // the number of window pixels inside the frame ((2 span + 1)^2 for a
  // window wholly inside). 0 when no sky ring is left (see sky_known).
  double sky_sum = 0;
  // False when the window's pixels inside the frame are no more than one
  // box (the aperture not smaller than the span, or a window mostly beyond
  // the frame): there is no sky around the box, and the star never counts
  // as found.
  bool sky_known = true;

  // star_sum / sky_sum. A positive star on a sky of exactly 0 (a frame with
  // no light outside the box) is infinitely bright against its sky: the ratio
  // is +infinity. A zero star on a zero sky, and an unknown sky, give 0.
  double ratio() const;
  // The star counts as found when the sky is known and threshold < ratio():
  // a star on a zero sky is found when its sum is positive.
  bool found(float threshold) const;
};

// Searches the light of `frame` (over its size, held to the buffer's shape)
// for the box of half-width `aperture` with the greatest sum, at candidate
// centres from (guide_x - span, guide_y - span) to (guide_x + span,
// guide_y + span) that lie inside the frame. Pixels outside the frame count
// 0. Of equal sums the one with the smallest column, then the smallest row,
// wins. A negative span searches nothing; a negative aperture makes every box
// empty. The result is the same as summing every box one by one, but a
// summed-area table makes the cost independent of the aperture.
GuideMeasurement measure_guide_star(const Frame& frame, int guide_x, int guide_y, int span, int aperture,
                                    int previous_x, int previous_y);

// The ratio as the tracking status window shows it ("##.##"): at most two
// decimals without trailing zeros, no zero before the point, the point always
// shown (12.345 -> "12.35", 0.5 -> ".5", 3 -> "3.", 0 -> "."). An infinite
// ratio (a star on a zero sky) shows "∞".
std::string ratio_text(double ratio);

// A number as plain decimal text, without the blank in the sign place
// (7 significant digits for single-precision values).
std::string plain_text(double value, int significant_digits = 15);

// The configured search half-width as a whole number (an empty field is 0).
int configured_span(const Settings& settings);

}  // namespace stellacq
