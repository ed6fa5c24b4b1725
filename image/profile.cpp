// Line profile arithmetic and drawing; see profile.h.
//
// Heights are computed in double precision and checked before they become
// pixel rows, so that a count far outside scan_min..scan_max, a large zoom
// or level only moves a point out of view.
#include "image/profile.h"

#include <algorithm>
#include <cmath>

#include "core/numeric.h"
#include "image/cursor.h"

namespace stellacq {

namespace {

int last_row(const Frames& frames) { return std::max(std::min(frames.light.height, kFrameRows) - 1, 0); }

}  // namespace

void ProfilePlot::set_point(double X, double Y) {
  const double px = std::floor(X * kWidth / kScaleWidth);
  const double py = std::floor(Y * kHeight / kScaleHeight);
  if (!(px >= 0 && px < kWidth && py >= 0 && py < kHeight)) return;
  pixels[static_cast<std::size_t>(py) * kWidth + static_cast<std::size_t>(px)] = kPoint;
}

bool set_profile_point(const Frames& f, double X, double Y, double W, double H, ProfilePoint& point) {
  const std::optional<DisplayScale> scale = display_scale(f.light.width, f.light.height, W, H);
  if (!scale) return false;
  point.profile_x = std::clamp(frame_column(X, *scale), 0, std::min(f.light.width, kFrameColumns) - 1);
  point.profile_y = std::clamp(frame_row(Y, *scale), 0, last_row(f));
  return true;
}

int profile_start_column(int profile_x, int image_width) {
  int start = std::max(profile_x - 25, 0);
  if (start + (kProfilePoints - 1) > image_width - 1) start = image_width - kProfilePoints;
  return std::max(start, 0);
}

double profile_height(std::int32_t v, std::int32_t scan_min, std::int32_t scan_max) {
  const double spread = static_cast<double>(scan_max) - static_cast<double>(scan_min);
  const double fraction = spread != 0 ? (static_cast<double>(v) - scan_min) / spread : 0.0;
  return 300 - (int_floor(fraction * 256) + 30);
}

void draw_profile(const Frames& frames, const ProfilePoint& point, const ProfileGraph& graph,
                  ProfilePlot& plot) {
  plot.clear();
  const int width = std::min(frames.light.width, kFrameColumns);
  const int height = std::min(frames.light.height, kFrameRows);
  if (width <= 0 || height <= 0 || point.profile_y < 0 || point.profile_y >= height) return;
  const int start = profile_start_column(point.profile_x, width);
  const std::int32_t* row = frames.light.counts.row(point.profile_y);
  for (int k = 0; k < kProfilePoints && start + k < width; ++k) {
    const double h = profile_height(row[start + k], frames.scan_min, frames.scan_max);
    plot.set_point(k, int_floor((h + graph.level) * graph.zoom));
  }
}

void profile_line_up(ProfilePoint& point, const Frames& frames) {
  point.profile_y = std::min(point.profile_y + 1, last_row(frames));
}

void profile_line_down(ProfilePoint& point) { point.profile_y = std::max(point.profile_y - 1, 0); }

void profile_zoom_up(ProfileGraph& graph) { graph.zoom *= 1.05; }

void profile_zoom_down(ProfileGraph& graph) { graph.zoom /= 1.05; }

void profile_level_up(ProfileGraph& graph) { graph.level -= 10; }

void profile_level_down(ProfileGraph& graph) { graph.level += 10; }

}  // namespace stellacq
