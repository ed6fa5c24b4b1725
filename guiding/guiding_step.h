// The guiding step of a guided series.
//
// run_guiding_step is the step as a service: it takes the frame, the lock
// and the settings, measures the guide star around the locked position,
// widening the search up to three times, turns the offset into moves, X
// before Y, each through `move` and followed by `settle`, and returns what
// it did: the levels measured, the moves planned and how many went out. It
// knows neither the window nor the mount; the caller says how a move is
// made and how the step shows itself.
//
// Guiding::guiding_step (guide_lock.h) is the series' handler of it: it
// runs once after every frame of a series started with auto-guiding, when
// the series is still running, after the frame has been downloaded,
// corrected, shown and saved. It opens
// the mount's line for the step (closing it afterwards unless the telescope
// window uses it), writes the status line (" 追尾中" and the moves), the
// guide state and the tracking status values, and yields, also during the
// settling waits of eight changes of the clock's second. It never changes
// series_running or frames_remaining, so a stop given during it takes
// effect at the series' next test. A step that could not guide (the line
// cannot be opened, a move or its stop did not go out) is counted as an
// unguided frame, and its reason stays in the tracking status window until
// a step guides again; the series goes on. A stop that did not go out is
// told there and on the status line, without a box while the series runs,
// and the next open of the line sends it again.
#pragma once

#include <functional>
#include <vector>

#include "config/settings.h"
#include "guiding/correction_plan.h"
#include "guiding/measure.h"
#include "image/frames.h"
#include "telescope/mount.h"

namespace stellacq {

inline constexpr const char* kTrackingMessage = " 追尾中";

struct GuidingInput {
  const Frame& frame;
  int guide_x = 0, guide_y = 0;        // the locked position
  int previous_x = 0, previous_y = 0;  // the star of the last measurement
  const Settings& settings;
};

struct LevelMeasurement {
  int level = 0;
  int span = 0;  // the search half-width measured with
  GuideMeasurement measurement;
  bool found = false;
};

struct GuidingActions {
  std::function<void(const LevelMeasurement&)> measured;  // after each level
  std::function<MoveEnd(const GuideMove&)> move;          // one timed move of the mount
  std::function<void()> settle;                           // after each move that went out
};

struct GuidingResult {
  std::vector<LevelMeasurement> levels;  // in the order measured
  std::vector<GuideMove> planned;        // for the star found; empty when none was
  std::size_t moves_made = 0;            // planned moves that went out with their stop
  bool found() const { return !levels.empty() && levels.back().found; }
  // Every planned move went out: the mount is where the plan wants it.
  bool completed() const { return moves_made == planned.size(); }
};

// A move that does not go out ends the step: the mount is not where the
// next move assumes.
GuidingResult run_guiding_step(const GuidingInput& input, const GuidingActions& actions);

}  // namespace stellacq
