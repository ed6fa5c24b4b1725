// Simulated camera control unit (TU-11 or TU-22) with its camera head,
// answering at the register level of a parallel port at base 0x378.
//
// It plays the unit's side of every handshake: it latches command bytes on
// the strobe, answers each command line with its reply (framed by 0xDB, or
// a line ended by CR LF for "U"), sends its greeting after a reset pulse,
// times exposures on its own clock, moves the CCD temperature towards the
// set point at a finite rate, and sends the image in blocks announced by the
// PC's two-byte counts, each acknowledged by "K", with samples as
// value XOR 0x7FFF, low byte first, two bytes per handshake cycle.
//
// The image of an exposure is rendered once, when the exposure ends, from
// the simulated sky. A recorder keeps the traffic for byte-exact tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/geometry.h"
#include "camera/port_io.h"
#include "config/settings.h"
#include "core/clock.h"
#include "sim/sky.h"

namespace stellacq::sim {

inline constexpr std::uint16_t kSimBase = 0x378;
using stellacq::kUnitTu11;
using stellacq::kUnitTu22;

struct ControlUnitOptions {
  int unit_model = kUnitTu22;  // 4 = TU-11, anything else = TU-22
  double ambient_c = 20.0;
  double cooling_rate_c_per_s = 0.5;
  double max_cooling_c = 40.0;            // the cooler holds at most this far below ambient
  bool instant_exposures = false;         // exposure replies come at once (tests)
  bool powered = true;                    // false: nothing answers, the status line stays high
  bool record = false;                    // keep the traffic in recorder()
  std::string bytes_before_k;             // sent after each block count before the "K"
  std::string temperature_reply;          // not empty: the "T" reply text instead of the CCD's
  std::optional<std::string> size_reply;  // the "U" reply line instead of the frame's size
};

// Everything that crossed the port, for tests.
struct Traffic {
  std::vector<std::uint8_t> controls;  // every value written to the control register
  std::vector<std::uint8_t> received;  // bytes the unit latched on a strobe
  std::vector<std::uint8_t> sent;      // text bytes the PC took (samples excluded)
  std::vector<std::string> commands;   // command lines, without the CR
  long long samples_sent = 0;
  void clear() { *this = Traffic{}; }
};

class ControlUnit : public PortIo {
 public:
  ControlUnit(Clock& clock, Sky& sky, const ControlUnitOptions& options = {});

  std::uint8_t PortIn(std::uint16_t address) override;
  void PortOut(std::uint16_t address, std::uint8_t value) override;

  ControlUnitOptions& options() { return options_; }
  Traffic& recorder() { return traffic_; }

  // CCD temperature now, degrees C.
  double ccd_temperature();
  // The last rendered frame as the unit holds it (width x height the head
  // size over the binning), row by row.
  const std::vector<std::uint16_t>& frame() const { return frame_; }
  // Replaces the frame the next transfer sends (tests); a frame taller than
  // the head makes the unit announce and send more than the PC expects.
  void load_frame(int width, int height, std::vector<std::uint16_t> values);

  std::string greeting() const;

  // Bytes the unit sends next with the text handshake, as they are.
  void queue_output(const std::string& bytes) { text_ += bytes; }

  // Runs when an exposure ends, just before its image is rendered from the
  // sky (the observatory points the sky where the mount points then).
  void on_exposure_end(std::function<void()> hook) { exposure_end_ = std::move(hook); }

 private:
  enum class Phase { Idle, Presented, Taken };

  void on_control(std::uint8_t value);
  void on_byte(std::uint8_t b);
  void run_command(const std::string& line);
  void on_count(int count);
  void reply_framed(const std::string& text);
  void drop_output();
  bool output_ready();
  void present();
  void pop();
  void finish_exposure();
  void reset();
  void update_temperature();
  // Samples per row on the wire: twice the width for a TX-11 head on a TU-22.
  int wire_width() const;

  Clock& clock_;
  Sky& sky_;
  ControlUnitOptions options_;
  std::function<void()> exposure_end_;
  Traffic traffic_;

  // Register state.
  std::uint8_t data_out_ = 0xFF;  // what the unit drives on the data lines
  std::uint8_t data_in_ = 0;      // what the PC last wrote
  std::uint8_t control_ = 0x04;
  bool in_reset_ = false;
  bool byte_latched_ = false;
  std::uint8_t latched_ = 0;
  bool status_high_ = true;
  Phase phase_ = Phase::Idle;

  // Output: text bytes first, then the samples of the current block.
  std::string text_;
  std::size_t text_pos_ = 0;
  bool text_gated_ = false;  // the text waits for the end of the exposure
  std::int64_t text_ready_at_us_ = 0;
  long long block_left_ = 0;
  std::size_t sample_pos_ = 0;     // next wire sample of the frame
  std::uint16_t current_raw_ = 0;  // raw (XORed) value of the presented sample

  // Command input.
  std::string line_;
  bool expecting_counts_ = false;
  int count_bytes_ = 0;
  std::uint8_t count_low_ = 0;

  // Unit settings and exposure.
  int head_width_;
  int head_height_;
  int binning_ = 1;
  long long exposure_ms_ = 1000;
  bool exposing_ = false;
  bool dark_exposure_ = false;
  std::int64_t exposure_start_us_ = 0;
  std::vector<std::uint16_t> frame_;
  int frame_width_ = 0;
  int frame_height_ = 0;
  std::vector<std::uint16_t> wire_;  // raw wire samples of the frame (XORed)

  // Cooling.
  double temperature_c_;
  std::int64_t temperature_at_us_;
  bool cooling_on_ = false;
  double set_point_c_ = 20.0;
};

}  // namespace stellacq::sim
