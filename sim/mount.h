// Simulated mount with its LX200 hand controller, the far end of the serial
// line.
//
// It takes the PC's characters as they arrive, runs every ":xx#" command in
// them and answers the position queries the way the controller does, one
// character every 10 bit times (about 1 ms at 9600 baud), on its clock:
//
//   ":GR#"  right ascension, "HH:MM:SS#"            (e.g. "05:35:17#")
//   ":GD#"  declination, long form "sDD*MM'SS#"     (e.g. "-05*23'24#")
//   ":Mn#" ":Ms#" ":Me#" ":Mw#"  start moving north, south, east, west at
//                                 the guide rate; ":Qn#" ... stop that
//                                 motion, ":Q#" stops all
//
// Other commands are taken and not answered. North raises the declination;
// east raises the right ascension. Left alone the pointing wanders: a
// periodic error of the right-ascension drive (a sine of a few arc-seconds
// over some minutes) and a slow declination drift, so an unguided series
// shows the stars wander.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "telescope/serial_line.h"

namespace stellacq::sim {

inline constexpr double kSiderealArcsecPerS = 15.041;

struct MountOptions {
  double guide_rate_sidereal = 0.5;        // guide rate as a fraction of the sidereal rate
  double periodic_error_arcsec = 4.0;      // amplitude (half the peak-to-peak swing)
  double periodic_error_period_s = 480.0;  // one turn of the worm
  double dec_drift_arcsec_per_s = 0.01;    // polar misalignment
  int baud = 9600;                         // one character is 10 bits
  bool powered = true;                     // false: takes everything, answers nothing
};

// Time each motion has run so far, microseconds.
struct MoveTimes {
  std::int64_t north_us = 0, south_us = 0, east_us = 0, west_us = 0;
};

class Mount {
 public:
  // Starts at the given pointing, degrees.
  Mount(Clock& clock, double ra_deg, double dec_deg, const MountOptions& options = {});

  // Characters from the PC, arriving now.
  void receive(std::string_view bytes);
  // Reply characters whose last bit has arrived by now.
  std::string take_output();
  // Reply characters still on their way.
  std::size_t output_pending() const { return output_.size() - taken_; }

  // Pointing now, degrees; with the motions and the drift up to now.
  double ra_deg();
  double dec_deg();
  // Guide motions so far (moves in progress count up to now).
  MoveTimes move_times();

  MountOptions& options() { return options_; }
  // Everything the PC sent, as it came.
  const std::string& received() const { return received_; }

  // The replies to ":GR#" and ":GD#" for a pointing.
  static std::string ra_reply(double ra_deg);
  static std::string dec_reply(double dec_deg);

 private:
  void advance();
  void run(const std::string& command);
  void reply(const std::string& text);
  double char_us() const { return 10.0e6 / options_.baud; }

  Clock& clock_;
  MountOptions options_;
  std::int64_t start_us_;
  std::int64_t now_us_;
  double ra0_deg_, dec0_deg_;  // pointing at the start
  double moved_ra_deg_ = 0;    // sum of the guide motions
  double moved_dec_deg_ = 0;
  bool north_ = false, south_ = false, east_ = false, west_ = false;
  MoveTimes times_;

  std::string command_;  // the command being received, from its ":"
  bool in_command_ = false;
  std::string received_;

  std::string output_;          // reply characters, sent and on their way
  std::vector<double> due_us_;  // when each has fully arrived
  std::size_t taken_ = 0;       // characters the PC has taken
};

// The PC's end of a line with the mount on the far side: the serial line
// stellacq-sim hands to the program. Any COM number 1..3 reaches the mount.
class MountLine final : public SerialLine {
 public:
  explicit MountLine(Mount& mount) : mount_(mount) {}
  void set_port_number(int com) override { com_ = com; }
  int port_number() const override { return com_; }
  void set_settings(const std::string& settings) override { settings_ = settings; }
  LineError open(std::string* detail = nullptr) override;
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  void discard_input() override;
  LineError send(const std::string& text) override;
  std::string take_received() override;
  std::string device_name() const override { return "模擬望遠鏡"; }

 private:
  Mount& mount_;
  int com_ = 0;
  std::string settings_;
  bool open_ = false;
};

}  // namespace stellacq::sim
