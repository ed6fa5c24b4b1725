// Correcting the light frame with the dark frame and the flat field.
//
// Both read the dark frame or the flat field (with flat_mean) and rewrite
// the light frame in place with its extremes.
#pragma once

#include <cstdint>

#include "image/frames.h"

namespace stellacq {

// Pedestal added to every dark-subtracted pixel, so that sky noise below
// the dark level does not all clip to 0.
inline constexpr std::int32_t kDarkPedestal = 100;

// light = light - dark + 100 over the light frame's size, below 0 -> 0,
// beyond the 32-bit range -> 2147483647; refreshes the light frame's extremes
// (through scan_max/scan_min). Applied again at every call.
void subtract_dark(Frames& frames);

// light = light / flat * flat_mean, rounded to the nearest count with ties
// to even, below 0 -> 0, beyond the 32-bit range -> 2147483647. A flat
// pixel of 0 or less has no usable ratio and leaves the light pixel as it
// is. Refreshes the light frame's extremes.
void divide_flat(Frames& frames);

}  // namespace stellacq
