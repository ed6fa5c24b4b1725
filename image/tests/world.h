// A fresh program for each test (no camera on the port, a manual clock, a
// scripted person at the screen) and frames of one count laid into it.
#pragma once

#include <cstdint>
#include <memory>

#include "core/tests/offline_world.h"

namespace stellacq::testing {

struct World : OfflineWorld {
  Frames& f = p.frames;

  static void fill(FrameBuffer& frame, int width, int height, std::int32_t value) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) frame.at(x, y) = value;
  }
  // A frame of one count with its size (the flat takes the light's) and extremes.
  void set_light(int width, int height, std::int32_t value) {
    fill(f.light_frame, f.image_width = width, f.image_height = height, value);
    f.light_max = f.light_min = value;
  }
  void set_dark(int width, int height, std::int32_t value) {
    fill(f.dark_frame, f.dark_width = width, f.dark_height = height, value);
    f.dark_max = f.dark_min = value;
  }
  void set_flat(std::int32_t value, std::int32_t mean) {
    fill(f.flat_frame, f.image_width, f.image_height, value);
    f.flat_max = f.flat_min = value;
    f.flat_mean = mean;
    f.flat_loaded = 1;
  }
  // Drawings, beeps and busy pointers: 0 when a command did nothing.
  int activity() const { return ui.picture_updates + ui.beeps + ui.busy_on; }
};

inline std::unique_ptr<World> make_world() { return std::make_unique<World>(); }

// The colour of a grey level in the image area.
inline std::uint32_t grey(std::uint32_t g) { return 0xFF000000u | g << 16 | g << 8 | g; }

}  // namespace stellacq::testing
