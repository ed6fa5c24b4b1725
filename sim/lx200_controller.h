// The simulated mount's LX200 hand controller (a SkySensor2000PC-class
// controller), the far end of the serial line. It drives the mount's axes
// (sim/mount_axes.h) and reads their pointing for its answers.
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
// unknown-command watcher.
//
// Not safe to share between threads by itself: whoever serves it on another
// thread (the pseudo-terminal server) and whoever reads the axes hold one
// mutex around every call (Observatory::mount_mutex).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "sim/mount_axes.h"
#include "telescope/serial_line.h"

namespace stellacq::sim {

// Reply characters the controller holds on their way out, at most.
inline constexpr std::size_t kReplyRoom = 256;
// What the controller keeps of the PC's characters for received(): the latest.
inline constexpr std::size_t kReceivedKept = 64 * 1024;

struct Lx200Options {
  int baud = 9600;      // one character is 10 bits
  bool powered = true;  // false: takes everything, answers nothing
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

class Lx200Controller {
 public:
  // `clock` paces the replies and gives the local time; `axes` are the
  // mount it drives.
  Lx200Controller(Clock& clock, MountAxes& axes, const Lx200Options& options = {});

  // Characters from the PC, arriving now.
  void receive(std::string_view bytes);
  // Reply characters whose last bit has arrived by now.
  std::string take_output();
  // Reply characters still on their way.
  std::size_t output_pending() const { return output_.size(); }

  Lx200Options& options() { return options_; }
  // What the PC sent, as it came: everything, or the last kReceivedKept
  // characters of it and more.
  const std::string& received() const { return received_; }
  // Called with each command the controller does not know, ":" to "#".
  void on_unknown_command(std::function<void(const std::string&)> watcher) { unknown_ = std::move(watcher); }

 private:
  void run(const std::string& command);
  bool run_query(const std::string& command);
  bool run_motion(const std::string& command);
  bool run_setting(const std::string& command);
  void reply(const std::string& text);
  double char_us() const { return 10.0e6 / options_.baud; }

  Clock& clock_;
  MountAxes& axes_;
  Lx200Options options_;
  std::int64_t now_us_;  // when the characters being taken arrived
  bool high_precision_;

  double target_ra_deg_ = -1, target_dec_deg_ = 0;  // ":Sr" and ":Sd"; -1: none

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
  explicit MountLine(Lx200Controller& controller) : controller_(controller) {}
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
  Lx200Controller& controller_;
  int com_ = 0;
  std::string settings_;
  bool open_ = false;
};

}  // namespace stellacq::sim
