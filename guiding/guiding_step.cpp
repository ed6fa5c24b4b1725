#include "guiding/guiding_step.h"

#include "guiding/correction_plan.h"
#include "guiding/guide_lock.h"
#include "program/program.h"
#include "telescope/mount_link.h"
#include "telescope/telescope.h"

namespace stellacq {

namespace {

// The moves of one correction, each with its settling wait. A move that did
// not go out ends the correction: the mount is not where the next one
// assumes.
void correct(Program& p, const std::vector<GuideMove>& moves) {
  for (const GuideMove& move : moves) {
    if (timed_move(p, move.direction, move.amount) != MoveEnd::Done) return;
    for (int i = 0; i < kSettlingSeconds; ++i) wait_next_second(p.clock, p.ui);
  }
}

}  // namespace

void guiding_step(Program& p) {
  if (p.exposure.display_after_shooting == 1) {
    // The frame was drawn anew: the marker goes back on it.
    p.guide.guide_locked = 1;
    draw_guide_marker(p);
    p.ui.yield();
  }
  if (!open_link_for_guiding(p)) return;
  set_status(p, kTrackingMessage);
  p.ui.yield();

  const int span = configured_span(p.settings);
  for (int level = 0; level < kSearchLevels; ++level) {
    const GuideMeasurement m = measure_guide_star(p, level_span(level, span, p.frames.image_height));
    if (!m.found(p.settings.threshold)) continue;
    correct(p, plan_correction(level, m.star_x - p.guide.guide_x, m.star_y - p.guide.guide_y, p.settings));
    break;
  }
  close_link_after_guiding(p);
}

}  // namespace stellacq
