// Run-time state of single exposures and of the series: display after
// shooting, the running flags, the remaining-frame count and the pacing.
#pragma once

#include <string>

namespace stellacq {

struct ExposureState {
  int display_after_shooting = 1;
};

struct SeriesState {
  int series_running = 0;
  int frames_remaining = -1;  // -1 while no counted series runs
  int guiding_mode = 0;
  std::string interval_text;
  std::string next_shot_text;
  int program_running = 0;
};

}  // namespace stellacq
