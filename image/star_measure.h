// Measuring one star of a frame for focusing: its background and noise from
// a ring around it, its centroid, FWHM and half-flux radius, peak count and
// signal-to-noise ratio.
//
// Positions are in frame pixels with the centre of pixel (x, y) at (x, y);
// a star whose counts follow a Gaussian of full width f at the pixel centres
// measures f (the widths are those of the star as the frame holds it,
// pixel sampling included). Reads only the counts it is given.
#pragma once

#include <cstdint>
#include <string>

#include "image/frames.h"

namespace stellacq {

// The side of the square around the clicked pixel in which a star is looked
// for.
inline constexpr int kStarSearchBox = 15;

struct StarMeasurement {
  bool found = false;
  double x = 0, y = 0;    // centroid
  double fwhm = 0;        // full width at half maximum, pixels
  double hfr = 0;         // radius holding half of the star's light, pixels
  std::int32_t peak = 0;  // greatest count of the star, background included
  double background = 0;  // counts a pixel
  double noise = 0;       // standard deviation of the background, counts
  double flux = 0;        // counts above the background in the star's aperture
  double snr = 0;         // flux against the background noise in the aperture
};

// Measures the star nearest (x, y) whose brightest part lies within the
// square of kStarSearchBox pixels centred on the pixel under (x, y), over
// [0, width) x [0, height) of `counts` (held to the buffer's shape).
// Nothing is found on a patch without a star, where no point stands out of
// the ring's noise by five times the noise of a 3 x 3 mean, and for a lone
// bright pixel (a hot pixel) with no light around it.
StarMeasurement measure_star(const FrameBuffer& counts, int width, int height, double x, double y);

// The measurement as one line: "x 412.3 y 288.9 FWHM 2.41 px HFR 1.62 px
// peak 35120 SNR 118", or the message that no star is there.
std::string star_text(const StarMeasurement& star);

inline constexpr const char* kNoStarText = "星が見つかりません";

}  // namespace stellacq
