// Simulated mount with its LX200 hand controller (a SkySensor2000PC-class
// controller), the far end of the serial line.
//
// It takes the PC's characters as they arrive, collects every command from
// its ":" to its "#" (a ":" inside a parameter, as in ":Sr 05:36:00#", does
// not start a new one; a lone "#", CR and LF between commands are ignored)
// and answers one character every 10 bit times (about 1 ms at 9600 baud),
// on its clock:
//
//   ACK (0x06)      alignment, "P" (polar)
//   ":GR#"          right ascension, "HH:MM:SS#"; low precision "HH:MM.T#"
//   ":GD#"          declination, "sDD*MM'SS#"; low precision "sDD*MM#"
//   ":U#"           toggles between high and low precision
//   ":GVP#" ":GVN#" product name and firmware version
//   ":Gc#" ":GM#" ":GN#" ":GO#" ":GP#" ":GT#" ":Gt#" ":Gg#" ":GG#" ":GL#"
//   ":GC#"          time format, site names, tracking frequency, latitude,
//                   longitude (west positive), hours added to local time to
//                   give UTC, local time and date (MM/DD/YY)
//   ":RG#" ":RC#" ":RM#" ":RS#"  rate of the moves: guide, centring,
//                   finding, slewing
//   ":Mn#" ":Ms#" ":Me#" ":Mw#"  start moving north, south, east, west at
//                   that rate; ":Qn#" ... stop that motion, ":Q#" stops all
//                   motions and a slew
//   ":MgnDDDD#"     a guide pulse of DDDD ms (also s, e, w)
//   ":Sr HH:MM:SS#" ":Sd sDD*MM:SS#"  target; "1", or "0" when unreadable
//   ":MS#"          "0" and slews to the target at the slewing rate;
//                   ":D#" answers "|#" while it slews and "#" after
//   ":CM#"          sync on the target, "Coordinates     matched.        #"
//   ":St" ":Sg" ":SG" ":SL" ":SC"  site and time settings, "1" (":SC" then
//                   tells that it updates its planetary data)
//
// Like the real controller it holds only so much: a reply that would leave
// more than kReplyRoom characters waiting to go out is dropped whole (the
// command still acts), so a client that writes faster than the line carries
// the answers gets fresh replies and loses the rest, instead of an ever
// older queue.
//
// Commands it does not know it takes without an answer and reports to the
// unknown-command watcher. North raises the declination; east raises the
// right ascension. Left alone the pointing wanders: a periodic error of the
// right-ascension drive (a sine of a few arc-seconds over some minutes) and
// a slow declination drift, so an unguided series shows the stars wander.
//
// The mount is not safe to share between threads by itself: whoever serves
// it on another thread (the pseudo-terminal server) and whoever reads its
// pointing hold one mutex around every call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "telescope/serial_line.h"

namespace stellacq::sim {

inline constexpr double kSiderealArcsecPerS = 15.041;
// Reply characters the controller holds on their way out, at most.
inline constexpr std::size_t kReplyRoom = 256;
// What the mount keeps of the PC's characters for received(): the latest.
inline constexpr std::size_t kReceivedKept = 64 * 1024;

struct MountOptions {
  double guide_rate_sidereal = 0.5;        // guide rate as a fraction of the sidereal rate
  double centre_rate_sidereal = 8.0;       // ":RC#"
  double find_rate_sidereal = 64.0;        // ":RM#"
  double slew_rate_deg_per_s = 3.0;        // ":RS#" and a goto
  double periodic_error_arcsec = 4.0;      // amplitude (half the peak-to-peak swing)
  double periodic_error_period_s = 480.0;  // one turn of the worm
  double dec_drift_arcsec_per_s = 0.01;    // polar misalignment
  int baud = 9600;                         // one character is 10 bits
  bool powered = true;                     // false: takes everything, answers nothing
  // Faults a client should survive.
  bool high_precision = true;       // the precision at power-on; ":U#" toggles it
  char degree_mark = '*';           // Meade's own controllers send '\xDF'
  std::int64_t reply_delay_us = 0;  // before the first character of every reply
  std::int64_t reply_pause_us = 0;  // between the two halves of every longer reply
  // The site, for the site and time queries.
  double latitude_deg = 35.68;  // north positive
  double longitude_east_deg = 139.77;
  int utc_offset_hours = 9;  // local time = UTC + this
};

// Time each motion has run so far, microseconds.
struct MoveTimes {
  std::int64_t north_us = 0, south_us = 0, east_us = 0, west_us = 0;
};

// The rate a move command moves at.
enum class MoveRate { Guide, Centre, Find, Slew };

class Mount {
 public:
  // Starts at the given pointing, degrees.
  Mount(Clock& clock, double ra_deg, double dec_deg, const MountOptions& options = {});

  // Characters from the PC, arriving now.
  void receive(std::string_view bytes);
  // Reply characters whose last bit has arrived by now.
  std::string take_output();
  // Reply characters still on their way.
  std::size_t output_pending() const { return output_.size(); }
  // When the next reply character will have arrived, microseconds on the
  // clock; -1 when none is on its way.
  std::int64_t next_output_due_us() const;

  // Pointing now, degrees; with the motions and the drift up to now.
  double ra_deg();
  double dec_deg();
  // Guide motions so far (moves in progress count up to now).
  MoveTimes move_times();
  bool slewing();
  // Takes this as its pointing from now on (what ":CM#" does with the
  // target); stops a slew.
  void sync(double ra_deg, double dec_deg);
  bool high_precision() const { return high_precision_; }

  MountOptions& options() { return options_; }
  // What the PC sent, as it came: everything, or the last kReceivedKept
  // characters of it and more.
  const std::string& received() const { return received_; }
  // Called with each command the controller does not know, ":" to "#".
  void on_unknown_command(std::function<void(const std::string&)> watcher) { unknown_ = std::move(watcher); }

  // The replies to ":GR#" and ":GD#" for a pointing.
  static std::string ra_reply(double ra_deg, bool high_precision = true);
  static std::string dec_reply(double dec_deg, bool high_precision = true, char degree_mark = '*');

 private:
  void advance();
  void run(const std::string& command);
  bool run_query(const std::string& command);
  bool run_motion(const std::string& command);
  bool run_setting(const std::string& command);
  void reply(const std::string& text);
  double char_us() const { return 10.0e6 / options_.baud; }
  double rate_deg_per_s() const;
  double drift_dec_deg() const;
  double drift_ra_deg(double dec_deg) const;

  Clock& clock_;
  MountOptions options_;
  std::int64_t start_us_;
  std::int64_t now_us_;
  double ra0_deg_, dec0_deg_;  // pointing at the start
  double moved_ra_deg_ = 0;    // sum of the motions, slews and syncs
  double moved_dec_deg_ = 0;
  bool north_ = false, south_ = false, east_ = false, west_ = false;
  MoveRate rate_ = MoveRate::Guide;
  std::int64_t pulse_end_us_[4] = {-1, -1, -1, -1};  // n, s, e, w; -1: no pulse
  MoveTimes times_;
  bool high_precision_;

  double target_ra_deg_ = -1, target_dec_deg_ = 0;  // ":Sr" and ":Sd"; -1: none
  bool slewing_ = false;
  double slew_left_ra_deg_ = 0, slew_left_dec_deg_ = 0;  // still to go, signed

  std::string command_;  // the command being received, after its ":"
  bool in_command_ = false;
  std::string received_;
  std::function<void(const std::string&)> unknown_;

  std::string output_;          // reply characters the PC has not taken yet
  std::vector<double> due_us_;  // when each has fully arrived
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
