#include "guiding/guiding_step.h"

#include "guiding/guide_lock.h"
#include "guiding/measure.h"
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
    m.span = level_span(level, span, in.frame.height);
    m.measurement = measure_guide_star(in.frame, in.guide_x, in.guide_y, m.span, in.settings.aperture,
                                       previous_x, previous_y);
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

// The step could not guide: one more unguided frame, and why.
void Guiding::note_unguided(const std::string& reason) {
  ++guide_.unguided_frames;
  guide_.tracking_status.unguided = plain_text(guide_.unguided_frames) + " " + reason;
}

void Guiding::guiding_step(bool frame_shown) {
  if (frame_shown) {
    // The frame was drawn anew: the marker goes back on it.
    guide_.guide_locked = 1;
    draw_marker();
    ui_.yield();
  }
  std::string failure;
  if (!telescope_.open_link_for_guiding(&failure)) {
    note_unguided(failure);
    return;
  }
  status_.show(kTrackingMessage);
  ui_.yield();

  const Frames& f = display_.state().frames;
  const GuidingInput input{f.light, guide_.guide_x, guide_.guide_y, guide_.star_x, guide_.star_y, settings_};
  GuidingActions actions;
  actions.measured = [this](const LevelMeasurement& m) {
    show_guide_measurement(guide_, settings_, ui_, m.measurement, m.span);
  };
  actions.move = [this](const GuideMove& move) {
    // A stop that cannot go out is told without a box while the series
    // runs: the frame counts as unguided and the series goes on.
    const bool running = series_runs_ && series_runs_();
    return telescope_.timed_move(move.direction, move.amount,
                                 running ? StopWarning::StatusLine : StopWarning::Box);
  };
  actions.settle = [this] {
    for (int i = 0; i < kSettlingSeconds; ++i) wait_next_second(clock_, ui_);
  };
  const GuidingResult result = run_guiding_step(input, actions);
  telescope_.close_link_after_guiding();
  if (result.completed()) {
    guide_.unguided_frames = 0;
    guide_.tracking_status.unguided.clear();
  } else {
    note_unguided(status_.text);
  }
}

}  // namespace stellacq
