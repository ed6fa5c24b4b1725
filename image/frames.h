// The three frames kept in memory (light, dark, flat), the display levels,
// and the picture of the image area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/frame.h"

namespace stellacq {

// Which frame auto_level measures (display_source).
enum class DisplaySource { Light, Dark, Flat };

struct Frames {
  Frame light;
  Frame dark;
  // The flat field is always used with the light frame's size (see
  // used_width): loading one gives the light frame its size, and a light
  // frame of another size taken later is corrected and shown with the flat
  // over the new size. Its own width and height only say what was loaded.
  Frame flat;

  // Working pair of the frame being filled; auto_level uses it.
  std::int32_t scan_max = 0;
  std::int32_t scan_min = 0;

  int flat_loaded = 0;
  std::int32_t flat_mean = 0;

  DisplaySource display_source = DisplaySource::Light;
  std::int32_t display_background = 0;  // count shown as black
  std::int32_t display_range = 0;       // counts from black to white

  int binning = 2;  // 1 = none, 2 = 2 x 2

  // The size `frame` (one of the three above) is used with: the light
  // frame's for the flat field, its own for the others.
  int used_width(const Frame& frame) const { return &frame == &flat ? light.width : frame.width; }
  int used_height(const Frame& frame) const { return &frame == &flat ? light.height : frame.height; }
};

// What a picture shows: the frame last drawn into it and the levels it was
// drawn with. `draws` counts the drawings (0: none yet), so that another
// view of the same frame knows when to map it again.
struct PictureContent {
  std::uint64_t draws = 0;
  DisplaySource source = DisplaySource::Light;
  std::int32_t background = 0;
  std::int32_t range = 1;
};

// The image area of the main window (Picture1) as an RGB32 picture that the
// window paints in one go. Frames are drawn into its top-left 303 x 200
// pixels; its extent is the ScaleWidth x ScaleHeight of the mouse mappings.
struct Picture {
  static constexpr int kWidth = 304;
  static constexpr int kHeight = 201;
  static constexpr std::uint32_t kBackground = 0xFF000000u;  // opaque black
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight, kBackground);
  PictureContent content;  // kept by draw_frame; clearing leaves it

  std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * kWidth + x]; }
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * kWidth + x]; }
  void clear() { pixels.assign(pixels.size(), kBackground); }
};

}  // namespace stellacq
