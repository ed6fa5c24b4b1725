// The grey copy of a frame and its rendering into the viewport; see view_render.h.
#include "image/view_render.h"

#include <algorithm>
#include <cmath>

#include "image/auto_level.h"

namespace stellacq {

namespace {

std::uint32_t rgb(std::uint32_t g) { return 0xFF000000u | g << 16 | g << 8 | g; }

// For every screen pixel along one axis, the first frame pixel it covers
// and the one after its last ([first, end)); an empty range outside the
// frame. Below 100 % a screen pixel covers the frame pixels whose start
// lies in it; at 100 % and above, the one under its centre.
struct Cover {
  std::vector<int> first, end;
};
Cover cover(int screen_size, int frame_size, double origin, double zoom) {
  Cover c{std::vector<int>(static_cast<std::size_t>(screen_size)),
          std::vector<int>(static_cast<std::size_t>(screen_size))};
  for (int s = 0; s < screen_size; ++s) {
    int a = 0, b = 0;
    if (zoom >= 1) {
      a = static_cast<int>(std::floor((s + 0.5 - origin) / zoom));
      b = a + 1;
    } else {
      a = static_cast<int>(std::ceil((s - origin) / zoom - 1e-9));
      b = static_cast<int>(std::ceil((s + 1 - origin) / zoom - 1e-9));
    }
    a = std::clamp(a, 0, frame_size);
    b = std::clamp(b, 0, frame_size);
    c.first[static_cast<std::size_t>(s)] = a;
    c.end[static_cast<std::size_t>(s)] = std::max(a, b);
  }
  return c;
}

}  // namespace

STELLACQ_PIXEL_LOOP
void map_grey(const FrameBuffer& counts, int width, int height, std::int32_t background, std::int32_t range,
              GreyFrame& out) {
  out.width = std::clamp(width, 0, kFrameColumns);
  out.height = std::clamp(height, 0, kFrameRows);
  out.grey.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int y = 0; y < out.height; ++y) {
    const std::int32_t* row = counts.row(y);
    std::uint8_t* to = out.grey.data() + static_cast<std::size_t>(y) * out.width;
    for (int x = 0; x < out.width; ++x)
      to[x] = static_cast<std::uint8_t>(grey_level(background, range, row[x]));
  }
}

void render_view(const GreyFrame& grey, const ZoomView& view, std::uint32_t* out, int stride) {
  const int vw = view.viewport_width(), vh = view.viewport_height();
  const double zoom = view.zoom();
  const ViewPoint origin = view.to_screen({0, 0});
  const Cover xs = cover(vw, grey.width, origin.x, zoom);
  const Cover ys = cover(vh, grey.height, origin.y, zoom);
  std::vector<std::uint32_t> sums(static_cast<std::size_t>(grey.width));
  for (int sy = 0; sy < vh; ++sy) {
    std::uint32_t* to = out + static_cast<std::ptrdiff_t>(sy) * stride;
    const int y0 = ys.first[static_cast<std::size_t>(sy)], y1 = ys.end[static_cast<std::size_t>(sy)];
    if (y0 == y1) {
      std::fill(to, to + vw, kViewGround);
      continue;
    }
    if (zoom >= 1) {
      const std::uint8_t* row = grey.grey.data() + static_cast<std::size_t>(y0) * grey.width;
      for (int sx = 0; sx < vw; ++sx) {
        const int x0 = xs.first[static_cast<std::size_t>(sx)];
        to[sx] = x0 == xs.end[static_cast<std::size_t>(sx)] ? kViewGround : rgb(row[x0]);
      }
      continue;
    }
    // Column sums of the rows this screen row covers, then the mean of each
    // block of columns.
    std::fill(sums.begin(), sums.end(), 0u);
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* row = grey.grey.data() + static_cast<std::size_t>(y) * grey.width;
      for (int x = 0; x < grey.width; ++x) sums[static_cast<std::size_t>(x)] += row[x];
    }
    for (int sx = 0; sx < vw; ++sx) {
      const int x0 = xs.first[static_cast<std::size_t>(sx)], x1 = xs.end[static_cast<std::size_t>(sx)];
      if (x0 == x1) {
        to[sx] = kViewGround;
        continue;
      }
      std::uint32_t sum = 0;
      for (int x = x0; x < x1; ++x) sum += sums[static_cast<std::size_t>(x)];
      const auto n = static_cast<std::uint32_t>((x1 - x0) * (y1 - y0));
      to[sx] = rgb((sum + n / 2) / n);
    }
  }
}

}  // namespace stellacq
