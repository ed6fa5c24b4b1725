// The zoomed view of a frame; see zoom_view.h.
#include "image/zoom_view.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace stellacq {

namespace {

constexpr double kMaxZoom = 8;
// From "fit" a step counts as the next one up or down only when it changes
// the zoom by a tenth or more: fit 49.8 % goes to 100 %, not to 50 %.
constexpr double kNextStep = 1.1;

double step_zoom(int step) { return std::ldexp(1.0, step); }

}  // namespace

void ZoomView::set_frame(int width, int height) {
  frame_w_ = std::max(width, 0);
  frame_h_ = std::max(height, 0);
  clamp_scroll();
}

void ZoomView::set_viewport(int width, int height) {
  const ViewPoint centre{view_w_ / 2.0, view_h_ / 2.0};
  const ViewPoint at = to_frame(centre);
  const bool had_viewport = view_w_ > 0 && view_h_ > 0;
  view_w_ = std::max(width, 0);
  view_h_ = std::max(height, 0);
  if (had_viewport && !fit_) place(at, {view_w_ / 2.0, view_h_ / 2.0});
  clamp_scroll();
}

double ZoomView::zoom() const {
  if (!fit_) return step_zoom(step_);
  if (frame_w_ <= 0 || frame_h_ <= 0 || view_w_ <= 0 || view_h_ <= 0) return 1;
  return std::min(
      {static_cast<double>(view_w_) / frame_w_, static_cast<double>(view_h_) / frame_h_, kMaxZoom});
}

void ZoomView::fit() {
  fit_ = true;
  scroll_x_ = scroll_y_ = 0;
}

void ZoomView::set_step(int step, ViewPoint anchor) {
  const ViewPoint at = to_frame(anchor);
  fit_ = false;
  step_ = std::clamp(step, kMinZoomStep, kMaxZoomStep);
  place(at, anchor);
}

void ZoomView::zoom_in(ViewPoint anchor) {
  if (!fit_) {
    if (step_ < kMaxZoomStep) set_step(step_ + 1, anchor);
    return;
  }
  const double z = zoom();
  for (int s = kMinZoomStep; s <= kMaxZoomStep; ++s)
    if (step_zoom(s) > z * kNextStep) {
      set_step(s, anchor);
      return;
    }
}

void ZoomView::zoom_out(ViewPoint anchor) {
  if (!fit_) {
    if (step_ > kMinZoomStep) set_step(step_ - 1, anchor);
    return;
  }
  const double z = zoom();
  for (int s = kMaxZoomStep; s >= kMinZoomStep; --s)
    if (step_zoom(s) < z / kNextStep) {
      set_step(s, anchor);
      return;
    }
}

void ZoomView::pan(int dx, int dy) { scroll_to(scroll_x_ - dx, scroll_y_ - dy); }

void ZoomView::scroll_to(int x, int y) {
  scroll_x_ = x;
  scroll_y_ = y;
  clamp_scroll();
}

int ZoomView::content_width() const { return static_cast<int>(std::ceil(frame_w_ * zoom() - 1e-9)); }
int ZoomView::content_height() const { return static_cast<int>(std::ceil(frame_h_ * zoom() - 1e-9)); }
int ZoomView::max_scroll_x() const { return std::max(0, content_width() - view_w_); }
int ZoomView::max_scroll_y() const { return std::max(0, content_height() - view_h_); }

double ZoomView::origin_x() const {
  const int spare = view_w_ - content_width();
  return spare > 0 ? spare / 2 : -scroll_x_;
}
double ZoomView::origin_y() const {
  const int spare = view_h_ - content_height();
  return spare > 0 ? spare / 2 : -scroll_y_;
}

ViewPoint ZoomView::to_screen(ViewPoint frame) const {
  const double z = zoom();
  return {origin_x() + frame.x * z, origin_y() + frame.y * z};
}

ViewPoint ZoomView::to_frame(ViewPoint screen) const {
  const double z = zoom();
  return {(screen.x - origin_x()) / z, (screen.y - origin_y()) / z};
}

void ZoomView::clamp_scroll() {
  if (fit_) {
    scroll_x_ = scroll_y_ = 0;
    return;
  }
  scroll_x_ = std::clamp(scroll_x_, 0, max_scroll_x());
  scroll_y_ = std::clamp(scroll_y_, 0, max_scroll_y());
}

void ZoomView::place(ViewPoint frame, ViewPoint screen) {
  const double z = zoom();
  scroll_x_ = static_cast<int>(std::lround(frame.x * z - screen.x));
  scroll_y_ = static_cast<int>(std::lround(frame.y * z - screen.y));
  clamp_scroll();
}

std::string ZoomView::zoom_text() const {
  const double percent = zoom() * 100;
  char buffer[32];
  // Whole percents, but 12.5 % keeps its half.
  const int decimals = fit_ || std::abs(percent - std::round(percent)) < 1e-9 ? 0 : 1;
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed, decimals).ptr;
  const std::string number(buffer, end);
  return (fit_ ? "fit " : "") + number + "%";
}

}  // namespace stellacq
