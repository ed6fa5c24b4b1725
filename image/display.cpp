// Rendering a frame into the picture of the image area.
//
// The image area is 304 x 201 device pixels; a frame of any size is scaled
// by 384 / width x 0.788 across and 256 / height x 0.78 down, rounding to
// the nearest pixel with ties to even, with no averaging: the last frame
// pixel drawn on a screen pixel is the one that shows.
#include "image/display.h"

#include <algorithm>
#include <vector>

#include "core/numeric.h"
#include "image/auto_level.h"

namespace stellacq {

bool light_frame_present(const Frames& frames) { return frames.light.width != 0 && frames.light.height != 0; }

int screen_x(int x, int width) {
  if (width <= 0) return 0;
  return static_cast<int>(round_half_even(static_cast<double>(x) * 384 / width * 0.788));
}

int screen_y(int y, int height) {
  if (height <= 0) return 0;
  return static_cast<int>(round_half_even(static_cast<double>(y) * 256 / height * 0.78));
}

namespace {

// For every screen position along one axis, the last frame index that lands
// there, or -1. Drawing y outer and x inner means the pixel that shows at
// (X, Y) is (last x of X, last y of Y), so only those are drawn.
template <typename Map>
std::vector<int> last_source(int count, int screen_size, Map map) {
  std::vector<int> last(static_cast<std::size_t>(screen_size), -1);
  for (int i = 0; i < count; ++i) {
    const int s = map(i);
    if (s >= 0 && s < screen_size) last[static_cast<std::size_t>(s)] = i;
  }
  return last;
}

}  // namespace

void draw_frame(Picture& picture, const Frames& levels, const Frame& frame) {
  picture.clear();
  const DisplaySource source = &frame == &levels.dark   ? DisplaySource::Dark
                               : &frame == &levels.flat ? DisplaySource::Flat
                                                        : DisplaySource::Light;
  picture.content = {picture.content.draws + 1, source, levels.display_background, levels.display_range};
  const int columns = std::clamp(levels.used_width(frame), 0, kFrameColumns);
  const int rows = std::clamp(levels.used_height(frame), 0, kFrameRows);
  if (columns > 0 && rows > 0) {
    const std::vector<int> xs =
        last_source(columns, Picture::kWidth, [&](int x) { return screen_x(x, columns); });
    const std::vector<int> ys = last_source(rows, Picture::kHeight, [&](int y) { return screen_y(y, rows); });
    for (int sy = 0; sy < Picture::kHeight; ++sy) {
      if (ys[sy] < 0) continue;
      const std::int32_t* row = frame.counts.row(ys[sy]);
      for (int sx = 0; sx < Picture::kWidth; ++sx) {
        if (xs[sx] < 0) continue;
        const auto g = static_cast<std::uint32_t>(grey_level(levels, row[xs[sx]]));
        picture.at(sx, sy) = 0xFF000000u | g << 16 | g << 8 | g;
      }
    }
  }
}

}  // namespace stellacq
