// A fresh program for each test: no camera on the port, a manual clock and
// a scripted person at the screen.
#pragma once

#include <memory>

#include "core/interaction.h"
#include "core/program.h"

namespace stellacq::testing {

class NoPort final : public PortIo {
 public:
  std::uint8_t PortIn(std::uint16_t) override { return 0xFF; }
  void PortOut(std::uint16_t, std::uint8_t) override {}
};

struct World {
  NoPort port;
  ManualClock clock;
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  Program p{port, clock, ui, busy};

  // Fills a frame of width x height with `value` and gives the frame the
  // extremes a filling would leave.
  void fill(FrameBuffer& frame, int width, int height, std::int32_t value) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) frame.at(x, y) = value;
  }
  void set_light(int width, int height, std::int32_t value) {
    fill(p.frames.light_frame, width, height, value);
    p.frames.image_width = width;
    p.frames.image_height = height;
    p.frames.light_max = p.frames.light_min = value;
  }
  void set_dark(int width, int height, std::int32_t value) {
    fill(p.frames.dark_frame, width, height, value);
    p.frames.dark_width = width;
    p.frames.dark_height = height;
    p.frames.dark_max = p.frames.dark_min = value;
  }
  void set_flat(std::int32_t value, std::int32_t mean) {
    fill(p.frames.flat_frame, p.frames.image_width, p.frames.image_height, value);
    p.frames.flat_max = p.frames.flat_min = value;
    p.frames.flat_mean = mean;
    p.frames.flat_loaded = 1;
  }
};

inline std::unique_ptr<World> make_world() { return std::make_unique<World>(); }

// The grey colour of the image area for a grey level.
inline std::uint32_t grey(std::uint32_t g) { return 0xFF000000u | g << 16 | g << 8 | g; }

}  // namespace stellacq::testing
