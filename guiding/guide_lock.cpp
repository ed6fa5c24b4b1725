// Guide-star lock and release; see guide_lock.h.
#include "guiding/guide_lock.h"

#include <algorithm>

#include "core/numeric.h"
#include "guiding/marker.h"
#include "guiding/measure.h"

namespace stellacq {

// The marker of the guide star as it stands in the guide state.
void Guiding::draw_marker() { draw_guide_marker(guide_, display_.shown(), configured_span(settings_), ui_); }

void Guiding::unlock(const TrackingStatusHooks& tracking_status) {
  if (tracking_status.close) tracking_status.close();
  status_.show(kUnlockedText);
  guide_.guide_locked = 0;
  draw_marker();
}

void Guiding::drop_lock() {
  guide_.guide_locked = 0;
  draw_marker();
}

PictureClickResult Guiding::Picture1_MouseDown(double X, double Y, double scale_width, double scale_height,
                                               const TrackingStatusHooks& tracking_status) {
  PictureClickResult result;
  const Frames& f = display_.state().frames;
  if (f.light.width <= 0 || f.light.height <= 0) return result;
  const std::optional<DisplayScale> scale =
      display_scale(f.light.width, f.light.height, scale_width, scale_height);
  if (!scale) return result;
  result.frame_x = frame_column(X, *scale);
  result.frame_y = frame_row(Y, *scale);

  GuideState& g = guide_;
  if (g.guide_locked != 0) {
    if (ui_.message_box(kReleasePrompt, kGuideTitle, MessageButtons::OkCancel) == MessageAnswer::Cancel) {
      result.outcome = PictureClick::ReleaseCancelled;
      return result;
    }
    unlock(tracking_status);
    menu_.exp_menu_grab_auto_enabled = menu_.exp_menu_grab_auto_stop_enabled = false;
    result.outcome = PictureClick::Released;
    return result;
  }

  g.guide_locked = 1;
  g.guide_x = result.frame_x;
  g.guide_y = result.frame_y;
  const int shown_x = std::clamp(g.guide_x, 0, std::min(f.light.width, kFrameColumns) - 1);
  const int shown_y = std::clamp(g.guide_y, 0, std::min(f.light.height, kFrameRows) - 1);
  status_.show(decimal_text(g.guide_x) + decimal_text(g.guide_y) +
               decimal_text(f.light.counts.at(shown_x, shown_y)) + kLockedText);
  draw_marker();
  const int span = configured_span(settings_);
  show_guide_measurement(
      g, settings_, ui_,
      measure_guide_star(f.light, g.guide_x, g.guide_y, span, settings_.aperture, g.star_x, g.star_y), span);
  if (tracking_status.open) tracking_status.open();
  // The guided series can be started and stopped while a star is locked.
  menu_.exp_menu_grab_auto_enabled = menu_.exp_menu_grab_auto_stop_enabled = true;
  ui_.yield();

  if (ui_.message_box(kLockPrompt, kGuideTitle, MessageButtons::OkCancel) == MessageAnswer::Ok) {
    result.outcome = PictureClick::Locked;
    return result;
  }
  unlock(tracking_status);
  menu_.exp_menu_grab_auto_enabled = menu_.exp_menu_grab_auto_stop_enabled = false;
  result.outcome = PictureClick::LockCancelled;
  return result;
}

void show_guide_measurement(GuideState& g, const Settings& settings, Interaction& ui,
                            const GuideMeasurement& m, int span) {
  g.star_x = m.star_x;
  g.star_y = m.star_y;
  g.star_sum = m.star_sum;
  g.sky_sum = m.sky_sum;
  g.tracking_status.Label5 = plain_text(span);
  g.tracking_status.Label6 = plain_text(settings.aperture);
  g.tracking_status.Label7 = plain_text(settings.threshold, 7);
  g.tracking_status.Label8 = ratio_text(m.ratio());
  ui.yield();
}

void draw_guide_marker(GuideState& guide, const ShownFrames& shown, int span, Interaction& ui) {
  Picture& picture = shown.picture;
  std::vector<SavedPoint>& saved = guide.marker_saved;
  // Only points that still show the marker are painted back: where the
  // frame has been drawn anew since, the kept colours are out of date.
  const auto restore = [&] {
    for (const SavedPoint& s : saved)
      if (picture.at(s.x, s.y) == kMarkerGreen) picture.at(s.x, s.y) = s.colour;
    saved.clear();
  };
  if (guide.guide_locked == 0) {
    restore();
    ui.picture_changed();
    return;
  }
  const bool still_drawn = std::all_of(
      saved.begin(), saved.end(), [&](const SavedPoint& s) { return picture.at(s.x, s.y) == kMarkerGreen; });
  if (still_drawn)
    restore();
  else
    saved.clear();
  const std::optional<DisplayScale> scale =
      display_scale(shown.frames.light.width, shown.frames.light.height, Picture::kWidth, Picture::kHeight);
  if (!scale) return;
  for (const PicturePoint& point :
       marker_points(guide.guide_x, guide.guide_y, span, *scale, Picture::kWidth, Picture::kHeight)) {
    saved.push_back({point.x, point.y, picture.at(point.x, point.y)});
    picture.at(point.x, point.y) = kMarkerGreen;
  }
  ui.picture_changed();
}

}  // namespace stellacq
