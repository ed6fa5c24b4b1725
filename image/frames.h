// A frame as a value (its counts, shape, extremes and what it records), the
// three frames kept in memory (light, dark, flat), the display levels, and
// the picture of the image area.
//
// Every frame buffer has the fixed shape of 1537 x 1025 signed 32-bit counts,
// element (x, y) at x + 1537 * y; only [0, width) x [0, height) of the
// current frame carries data, the rest keeps what a larger frame left there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "core/clock.h"

namespace stellacq {

// Marks a function whose per-pixel loop is written for the compiler's vector
// instructions (with `#pragma omp simd`): on x86-64 Linux it is built twice,
// for AVX2 and for the baseline, and the machine picks one when the program
// loads.
#if defined(__x86_64__) && defined(__linux__)
#define STELLACQ_PIXEL_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define STELLACQ_PIXEL_LOOP
#endif

inline constexpr int kFrameColumns = 1537;  // x = 0..1536
inline constexpr int kFrameRows = 1025;     // y = 0..1024

class FrameBuffer {
 public:
  FrameBuffer() : counts_(static_cast<std::size_t>(kFrameColumns) * kFrameRows, 0) {}
  std::int32_t& at(int x, int y) { return counts_[index(x, y)]; }
  std::int32_t at(int x, int y) const { return counts_[index(x, y)]; }
  std::int32_t* data() { return counts_.data(); }
  const std::int32_t* data() const { return counts_.data(); }
  std::int32_t* row(int y) { return counts_.data() + static_cast<std::size_t>(y) * kFrameColumns; }
  const std::int32_t* row(int y) const {
    return counts_.data() + static_cast<std::size_t>(y) * kFrameColumns;
  }

 private:
  static std::size_t index(int x, int y) {
    return static_cast<std::size_t>(x) +
           static_cast<std::size_t>(kFrameColumns) * static_cast<std::size_t>(y);
  }
  std::vector<std::int32_t> counts_;
};

// Light: the shutter open; dark: the shutter closed.
enum class FrameKind { Light, Dark };

// One frame: its counts over [0, width) x [0, height) of a buffer that is
// never resized (the part outside keeps what a larger frame left there), the
// extremes of those counts, and what the frame records about its exposure.
// A frame holds its 6 MB buffer by value: it is handed on by reference, or
// shared, never copied on the way.
struct Frame {
  FrameBuffer counts{};
  int width = 0;  // 0 while no frame is held
  int height = 0;
  std::int32_t max = 0;
  std::int32_t min = 0;

  FrameKind kind = FrameKind::Light;
  double seconds = 0;                  // the exposure time recorded
  int binning = 1;                     // 1 = none, 2 = 2 x 2
  int head_model = 0;                  // 4 the TX-11, any other the TX-22
  int unit_model = 0;                  // 4 the TU-11, any other the TU-22
  LocalDateTime start{};               // the PC's local time at the start of the exposure
  std::time_t start_utc = 0;           // the same instant as a calendar time
  std::optional<double> ccd_temp_c{};  // the reading the frame records, when known
};

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
