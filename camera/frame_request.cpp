#include "camera/frame_request.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace stellacq {

int exposure_seconds(double requested_seconds) {
  if (!std::isfinite(requested_seconds) || requested_seconds < 1.0) return 1;
  if (requested_seconds > 1e6) return 1'000'000;
  // nearbyint rounds halves to even in the default rounding mode.
  return static_cast<int>(std::nearbyint(requested_seconds));
}

Subframe binned_subframe(int x, int y, int width, int height, int binning, int chip_width, int chip_height) {
  binning = std::max(binning, 1);
  Subframe part;
  part.x = std::clamp(x / binning, 0, chip_width - 1);
  part.y = std::clamp(y / binning, 0, chip_height - 1);
  part.width = std::clamp(width / binning, 1, chip_width - part.x);
  part.height = std::clamp(height / binning, 1, chip_height - part.y);
  return part;
}

void cut_subframe(Frame& frame, const Subframe& part) {
  frame.width = part.width;
  frame.height = part.height;
  if (part.x == 0 && part.y == 0) return;
  FrameBuffer& counts = frame.counts;
  // Each row moves up and left, so rows taken in order never overwrite
  // one still to be moved.
  for (int row = 0; row < part.height; ++row)
    std::memmove(counts.row(row), counts.row(part.y + row) + part.x,
                 static_cast<std::size_t>(part.width) * sizeof(std::int32_t));
}

}  // namespace stellacq
