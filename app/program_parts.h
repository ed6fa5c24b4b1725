// The parts of the Program that the operations below the handlers take: the
// handlers, the windows and the tests hand them out with these, so that an
// operation sees only what it touches.
#pragma once

#include "app/program.h"
#include "config/settings_store.h"
#include "config/startup.h"
#include "core/numeric.h"
#include "core/status_line.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "image/frame_display.h"

namespace stellacq {

inline StatusLine status_line(Program& p) { return {p.form.Text7, p.ui}; }

inline SettingsFile settings_file(Program& p) { return {p.ini_path, p.settings, p.ini_status}; }

// Sets the run-time state back to its start values, as every start does:
// the camera link flags cleared; binning 2 x 2, display after shooting on,
// no flat field, no series, no frame count.
inline void reset_run_flags(Program& p) {
  p.link.camera_connected = 0;
  p.link.unit_silent = false;

  p.frames.binning = 2;
  p.exposure.display_after_shooting = 1;
  p.frames.flat_loaded = 0;
  p.series.state().series_running = 0;
  p.series.state().frames_remaining = -1;
}

inline HeldFrames held_frames(Program& p) { return {p.frames, p.headers}; }

inline ShownFrames shown_frames(Program& p) { return {p.frames, p.picture}; }

}  // namespace stellacq
