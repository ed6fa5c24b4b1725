// The parts of the Program that the operations below the handlers take: the
// handlers, the windows and the tests hand them out with these, so that an
// operation sees only what it touches.
#pragma once

#include "config/settings_store.h"
#include "config/startup.h"
#include "core/numeric.h"
#include "core/status_line.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "image/commands.h"
#include "program/program.h"

namespace stellacq {

inline StatusLine status_line(Program& p) { return {p.form.Text7, p.ui}; }

inline SettingsFile settings_file(Program& p) { return {p.ini_path, p.settings, p.ini_status}; }

inline RunFlags run_flags(Program& p) { return {p.link, p.frames, p.exposure, p.series}; }

inline HeldFrames held_frames(Program& p) { return {p.frames, p.headers}; }

inline ShownFrames shown_frames(Program& p) { return {p.frames, p.picture}; }

// What `frame` records of the exposure that starts now, read before its
// header is built: the head, the binning, the clock and the shutter-speed
// field; then pending window events run once and the temperature field is
// read, the freshest shown.
inline Frame& record_start(Program& p, Frame& frame) {
  frame.head_model = p.settings.head_model;
  frame.binning = p.frames.binning;
  frame.unit_model = p.settings.unit_model;
  frame.start = p.clock.local_now();
  frame.seconds = numeric_value(p.form.Text5);
  p.ui.yield();
  // The idle temperature text " --.-" reads as 0.
  frame.ccd_temp_c = numeric_value(p.form.Text4);
  return frame;
}

}  // namespace stellacq
