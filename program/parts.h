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

inline RunFlags run_flags(Program& p) { return {p.link, p.frames, p.exposure, p.series.state()}; }

inline HeldFrames held_frames(Program& p) { return {p.frames, p.headers}; }

inline ShownFrames shown_frames(Program& p) { return {p.frames, p.picture}; }

}  // namespace stellacq
