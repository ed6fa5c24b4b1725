// Automatic display stretch and the count -> grey mapping of the image area.
//
// auto_level reads display_source, scan_max/scan_min and the frame that
// display_source names (with that frame's size) and writes
// display_background and display_range. grey_level reads the two levels.
#pragma once

#include <array>
#include <cstdint>

#include "image/frames.h"

namespace stellacq {

inline constexpr int kHistogramBins = 301;  // bins 0..300
using Histogram = std::array<std::int64_t, kHistogramBins>;

// How the bin of a count is formed. auto_level divides the offset from
// scan_min by a three-hundredth of the span; the histogram window divides
// by the span and multiplies by 300. In double precision the two can land
// on different sides of a bin boundary, so each keeps its own.
enum class BinFormula { kAutoLevel, kHistogramWindow };

// The bin (0..300) of a count between scan_min and scan_max: bin 0 for
// scan_min itself, otherwise Int(quotient + 0.5) clamped to 0..300. When
// scan_max equals scan_min, counts above fall into bin 300 and counts below
// into bin 0.
int count_bin(std::int32_t v, std::int32_t scan_min, std::int32_t scan_max,
              BinFormula formula = BinFormula::kAutoLevel);

// Counts every pixel of `frame`, one of `frames`, over the size it is used
// with (Frames::used_width/used_height) into its bin. Sizes are limited to
// the buffer's shape; a size of 0 or less counts nothing.
Histogram level_histogram(const Frames& frames, const Frame& frame, std::int32_t scan_min,
                          std::int32_t scan_max, BinFormula formula = BinFormula::kAutoLevel);

// The frame a display_source value names.
const Frame& source_frame(const Frames& frames, DisplaySource source);

// Finds the main peak of the histogram of the frame named by
// display_source and puts black and white where the smoothed histogram
// falls below a tenth of the peak. Callers first copy the frame's own
// extremes into scan_max/scan_min. Levels the scan does not find stay as
// they were; a range of 0 or less becomes 1.
void auto_level(Frames& frames);

// The grey level 0..255 of a count under the current levels:
// Int((v - background) / range * 256 + 0.5), clamped. A range of 0 is
// taken as 1.
int grey_level(const Frames& frames, std::int32_t count);
// The same under the levels `background` and `range`.
int grey_level(std::int32_t background, std::int32_t range, std::int32_t count);

}  // namespace stellacq
