// The three frames kept in memory (light, dark, flat), their sizes and
// extremes, the display levels, and the picture of the image area.
//
// Every frame buffer has the fixed shape of 1537 x 1025 signed 32-bit counts,
// element (x, y) at x + 1537 * y; only [0, width) x [0, height) of the
// current frame carries data, the rest keeps what a larger frame left there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Which frame auto_level measures (display_source).
enum class DisplaySource { Light, Dark, Flat };

struct Frames {
  FrameBuffer light_frame;
  FrameBuffer dark_frame;
  FrameBuffer flat_frame;

  // 0 while no frame has been loaded. The flat field has no size of its own:
  // it is used with the light frame's size.
  int image_width = 0;
  int image_height = 0;
  int dark_width = 0;
  int dark_height = 0;

  // Working pair of the frame being filled, and the pair auto_level uses.
  std::int32_t scan_max = 0;
  std::int32_t scan_min = 0;
  std::int32_t light_max = 0, light_min = 0;
  std::int32_t dark_max = 0, dark_min = 0;
  std::int32_t flat_max = 0, flat_min = 0;

  int flat_loaded = 0;
  std::int32_t flat_mean = 0;

  DisplaySource display_source = DisplaySource::Light;
  std::int32_t display_background = 0;  // count shown as black
  std::int32_t display_range = 0;       // counts from black to white

  int binning = 2;  // 1 = none, 2 = 2 x 2
};

// The image area of the main window (Picture1) as an RGB32 picture that the
// window paints in one go. Frames are drawn into its top-left 303 x 200
// pixels; its extent is the ScaleWidth x ScaleHeight of the mouse mappings.
struct Picture {
  static constexpr int kWidth = 304;
  static constexpr int kHeight = 201;
  static constexpr std::uint32_t kBackground = 0xFF000000u;  // opaque black
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight, kBackground);

  std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * kWidth + x]; }
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * kWidth + x]; }
  void clear() { pixels.assign(pixels.size(), kBackground); }
};

}  // namespace stellacq
