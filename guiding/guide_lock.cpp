// Guide-star lock and release; see guide_lock.h.
#include "guiding/guide_lock.h"

#include <algorithm>

#include "core/numeric.h"
#include "guiding/marker.h"
#include "guiding/measure.h"
#include "program/parts.h"
#include "program/program.h"

namespace stellacq {

namespace {

// The marker of the guide star as it stands in `p.guide`.
void draw_marker(Program& p) {
  draw_guide_marker(p.guide, shown_frames(p), configured_span(p.settings), p.ui);
}

void unlock(Program& p, const TrackingStatusHooks& tracking_status) {
  if (tracking_status.close) tracking_status.close();
  set_status(p, kUnlockedText);
  p.guide.guide_locked = 0;
  draw_marker(p);
}

}  // namespace

PictureClickResult Picture1_MouseDown(Program& p, double X, double Y, double scale_width, double scale_height,
                                      const TrackingStatusHooks& tracking_status) {
  PictureClickResult result;
  const Frames& f = p.frames;
  if (f.light.width <= 0 || f.light.height <= 0) return result;
  const std::optional<DisplayScale> scale =
      display_scale(f.light.width, f.light.height, scale_width, scale_height);
  if (!scale) return result;
  result.frame_x = frame_column(X, *scale);
  result.frame_y = frame_row(Y, *scale);

  GuideState& g = p.guide;
  if (g.guide_locked != 0) {
    if (p.ui.message_box(kReleasePrompt, kGuideTitle, MessageButtons::OkCancel) == MessageAnswer::Cancel) {
      result.outcome = PictureClick::ReleaseCancelled;
      return result;
    }
    unlock(p, tracking_status);
    p.form.exp_menu_grab_auto_enabled = p.form.exp_menu_grab_auto_stop_enabled = false;
    result.outcome = PictureClick::Released;
    return result;
  }

  g.guide_locked = 1;
  g.guide_x = result.frame_x;
  g.guide_y = result.frame_y;
  const int shown_x = std::clamp(g.guide_x, 0, std::min(f.light.width, kFrameColumns) - 1);
  const int shown_y = std::clamp(g.guide_y, 0, std::min(f.light.height, kFrameRows) - 1);
  set_status(p, decimal_text(g.guide_x) + decimal_text(g.guide_y) +
                    decimal_text(f.light.counts.at(shown_x, shown_y)) + kLockedText);
  draw_marker(p);
  const int span = configured_span(p.settings);
  show_guide_measurement(
      g, p.settings, p.ui,
      measure_guide_star(f.light, g.guide_x, g.guide_y, span, p.settings.aperture, g.star_x, g.star_y), span);
  if (tracking_status.open) tracking_status.open();
  // The guided series can be started and stopped while a star is locked.
  p.form.exp_menu_grab_auto_enabled = p.form.exp_menu_grab_auto_stop_enabled = true;
  p.ui.yield();

  if (p.ui.message_box(kLockPrompt, kGuideTitle, MessageButtons::OkCancel) == MessageAnswer::Ok) {
    result.outcome = PictureClick::Locked;
    return result;
  }
  unlock(p, tracking_status);
  p.form.exp_menu_grab_auto_enabled = p.form.exp_menu_grab_auto_stop_enabled = false;
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
