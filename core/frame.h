// A frame as a value: its counts, shape and extremes, and what it records
// of its exposure. The camera fills it; the display, the corrections, the
// guiding, the FITS files and the network front-ends take it whole.
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

}  // namespace stellacq
