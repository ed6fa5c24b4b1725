// Automatic display stretch (auto_level) and the grey mapping (grey_level).
//
// auto_level: a 301-bin histogram between scan_min and scan_max, its
// lowest-numbered highest bin as the peak, a five-bin root-sum-square
// smoothing, and black and white at the first bins either side of the peak
// whose smoothed level is below a tenth of the peak's.
#include "image/auto_level.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/numeric.h"

namespace stellacq {

namespace {

// Count of frame pixels per bin with every (x, y) visited once. The loop
// runs row by row, which gives the same counts as a column-by-column walk.
// For the usual 16-bit spans a table of the bin of every count in
// [scan_min, scan_max] replaces one division per pixel; it holds exactly
// what count_bin returns.
constexpr std::int64_t kMaxTableSpan = std::int64_t{1} << 20;

// Int(i / 300 * (scan_max - scan_min) + scan_min + 0.5) of a bin number.
double bin_count(int bin, std::int32_t scan_min, std::int32_t scan_max) {
  const double span = static_cast<double>(scan_max) - static_cast<double>(scan_min);
  return int_floor(bin / 300.0 * span + scan_min + 0.5);
}

}  // namespace

int count_bin(std::int32_t v, std::int32_t scan_min, std::int32_t scan_max, BinFormula formula) {
  if (v == scan_min) return 0;
  const double span = static_cast<double>(scan_max) - static_cast<double>(scan_min);
  const double offset = static_cast<double>(v) - static_cast<double>(scan_min);
  if (span == 0.0) return offset > 0 ? 300 : 0;
  const double quotient = formula == BinFormula::kAutoLevel ? offset / (span / 300) : offset / span * 300;
  const double q = quotient + 0.5;
  if (!(q >= 0.0)) return 0;
  if (q >= 300.0) return 300;
  return static_cast<int>(std::floor(q));
}

Histogram level_histogram(const Frames& frames, const Frame& frame, std::int32_t scan_min,
                          std::int32_t scan_max, BinFormula formula) {
  Histogram histogram{};
  const int columns = std::clamp(frames.used_width(frame), 0, kFrameColumns);
  const int rows = std::clamp(frames.used_height(frame), 0, kFrameRows);
  if (columns == 0 || rows == 0) return histogram;

  const std::int64_t span = std::int64_t{scan_max} - std::int64_t{scan_min};
  std::vector<std::uint16_t> table;
  if (span >= 0 && span < kMaxTableSpan) {
    table.resize(static_cast<std::size_t>(span) + 1);
    for (std::int64_t k = 0; k <= span; ++k)
      table[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(
          count_bin(static_cast<std::int32_t>(scan_min + k), scan_min, scan_max, formula));
  }
  // Four part counts, pixel x into part x % 4, summed at the end: a run of
  // pixels in one bin (the sky) would otherwise wait on a single counter.
  std::array<std::array<std::uint32_t, kHistogramBins>, 4> parts{};
  const auto bin_of = [&](std::int32_t v) {
    const std::int64_t k = std::int64_t{v} - scan_min;
    if (k >= 0 && k < static_cast<std::int64_t>(table.size())) return int{table[static_cast<std::size_t>(k)]};
    return count_bin(v, scan_min, scan_max, formula);
  };
  for (int y = 0; y < rows; ++y) {
    const std::int32_t* row = frame.counts.row(y);
    int x = 0;
    for (; x + 4 <= columns; x += 4) {
      ++parts[0][bin_of(row[x])];
      ++parts[1][bin_of(row[x + 1])];
      ++parts[2][bin_of(row[x + 2])];
      ++parts[3][bin_of(row[x + 3])];
    }
    for (; x < columns; ++x) ++parts[0][bin_of(row[x])];
  }
  for (int bin = 0; bin < kHistogramBins; ++bin)
    histogram[bin] = std::int64_t{parts[0][bin]} + parts[1][bin] + parts[2][bin] + parts[3][bin];
  return histogram;
}

const Frame& source_frame(const Frames& frames, DisplaySource source) {
  switch (source) {
    case DisplaySource::Dark:
      return frames.dark;
    case DisplaySource::Flat:
      return frames.flat;
    case DisplaySource::Light:
      break;
  }
  return frames.light;
}

void auto_level(Frames& frames) {
  const Histogram h =
      level_histogram(frames, source_frame(frames, frames.display_source), frames.scan_min, frames.scan_max);

  int peak = 0;
  for (int i = 1; i < kHistogramBins; ++i)
    if (h[i] > h[peak]) peak = i;

  std::array<double, kHistogramBins> level{};
  for (int i = 2; i <= 298; ++i) {
    double sum = 0;
    for (int k = i - 2; k <= i + 2; ++k) sum += static_cast<double>(h[k]) * static_cast<double>(h[k]);
    level[i] = std::sqrt(sum) / 5;
  }
  const double threshold = 0.1 * level[peak];

  for (int i = peak; i >= 0; --i) {
    if (level[i] < threshold) {
      frames.display_background = clamp_to_int32(bin_count(i, frames.scan_min, frames.scan_max));
      break;
    }
  }
  for (int j = peak; j <= 300; ++j) {
    if (level[j] < threshold) {
      const double white = bin_count(j, frames.scan_min, frames.scan_max);
      frames.display_range = clamp_to_int32(white - frames.display_background);
      break;
    }
  }
  if (frames.display_range <= 0) frames.display_range = 1;
}

int grey_level(const Frames& frames, std::int32_t count) {
  return grey_level(frames.display_background, frames.display_range, count);
}

int grey_level(std::int32_t background, std::int32_t display_range, std::int32_t count) {
  const std::int64_t d = std::int64_t{count} - background;
  const std::int32_t range = display_range == 0 ? 1 : display_range;
  const double g = int_floor(static_cast<double>(d) / range * 256 + 0.5);
  if (!(g >= 0.0)) return 0;
  if (g > 255.0) return 255;
  return static_cast<int>(g);
}

}  // namespace stellacq
