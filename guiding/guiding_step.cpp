#include "guiding/guiding_step.h"

#include "guiding/guide_lock.h"
#include "guiding/measure.h"
#include "program/parts.h"
#include "program/program.h"
#include "telescope/mount_link.h"
#include "telescope/telescope.h"

namespace stellacq {

GuidingResult run_guiding_step(const GuidingInput& in, const GuidingActions& actions) {
  GuidingResult result;
  const int span = configured_span(in.settings);
  int previous_x = in.previous_x, previous_y = in.previous_y;
  for (int level = 0; level < kSearchLevels; ++level) {
    LevelMeasurement m;
    m.level = level;
    m.span = level_span(level, span, in.height);
    m.measurement = measure_guide_star(in.frame, in.width, in.height, in.guide_x, in.guide_y, m.span,
                                       in.settings.aperture, previous_x, previous_y);
    m.found = m.measurement.found(in.settings.threshold);
    previous_x = m.measurement.star_x;
    previous_y = m.measurement.star_y;
    result.levels.push_back(m);
    if (actions.measured) actions.measured(m);
    if (!m.found) continue;
    result.planned = plan_correction(level, m.measurement.star_x - in.guide_x,
                                     m.measurement.star_y - in.guide_y, in.settings);
    break;
  }
  for (const GuideMove& move : result.planned) {
    if (!actions.move || actions.move(move) != MoveEnd::Done) break;
    ++result.moves_made;
    if (actions.settle) actions.settle();
  }
  return result;
}

namespace {

// The step could not guide: one more unguided frame, and why.
void note_unguided(Program& p, const std::string& reason) {
  GuideState& g = p.guide;
  ++g.unguided_frames;
  g.tracking_status.unguided = plain_text(g.unguided_frames) + " " + reason;
}

}  // namespace

void guiding_step(Program& p) {
  if (p.exposure.display_after_shooting == 1) {
    // The frame was drawn anew: the marker goes back on it.
    p.guide.guide_locked = 1;
    draw_guide_marker(p.guide, shown_frames(p), configured_span(p.settings), p.ui);
    p.ui.yield();
  }
  std::string failure;
  if (!p.telescope.open_link_for_guiding(&failure)) {
    note_unguided(p, failure);
    return;
  }
  set_status(p, kTrackingMessage);
  p.ui.yield();

  const Frames& f = p.frames;
  const GuidingInput input{f.light_frame,   f.image_width,  f.image_height, p.guide.guide_x,
                           p.guide.guide_y, p.guide.star_x, p.guide.star_y, p.settings};
  GuidingActions actions;
  actions.measured = [&p](const LevelMeasurement& m) {
    show_guide_measurement(p.guide, p.settings, p.ui, m.measurement, m.span);
  };
  actions.move = [&p](const GuideMove& move) {
    // A stop that cannot go out is told without a box while the series
    // runs: the frame counts as unguided and the series goes on.
    const bool running = p.series.series_running == 1 || p.series.program_running == 1;
    return p.telescope.timed_move(move.direction, move.amount,
                                  running ? StopWarning::StatusLine : StopWarning::Box);
  };
  actions.settle = [&p] {
    for (int i = 0; i < kSettlingSeconds; ++i) wait_next_second(p.clock, p.ui);
  };
  const GuidingResult result = run_guiding_step(input, actions);
  p.telescope.close_link_after_guiding();
  if (result.completed()) {
    p.guide.unguided_frames = 0;
    p.guide.tracking_status.unguided.clear();
  } else {
    note_unguided(p, p.form.Text7);
  }
}

}  // namespace stellacq
