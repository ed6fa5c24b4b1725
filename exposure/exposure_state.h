// Run-time state of single exposures and of the series: display after
// shooting, the running flags, the remaining-frame count and the pacing.
#pragma once

#include <cstdint>
#include <string>

#include "exposure/download.h"

namespace stellacq {

struct ExposureState {
  int display_after_shooting = 1;
  // The exposure time the unit was last told with "S", in seconds. The wait
  // for the end of an exposure is bounded by it, not by the shutter field,
  // which the user may edit while the exposure runs.
  double seconds_sent = 0;
  // The abort of the frame being taken, requested from the main window.
  FrameAbort abort;
};

struct SeriesState {
  int series_running = 0;
  int frames_remaining = -1;  // -1 while no counted series runs
  int guiding_mode = 0;
  double interval = 0;  // seconds, as the interval field read at the frame's start
  std::string next_shot_text;
  // The next frame's start as seconds of local time counted from a fixed
  // day, so that the wait also holds across midnight and for long intervals.
  std::int64_t next_shot_at = 0;
  // The message of the stop command that ended the series, shown again when
  // the series ends, since steps after the stop may write the status line.
  std::string stop_message;
  int program_running = 0;
};

}  // namespace stellacq
