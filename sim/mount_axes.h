// The simulated mount's two axes: where the telescope points and how it
// moves there, on the devices' clock. What commands them (the LX200 hand
// controller, sim/lx200_controller.h) only starts and stops motions; the
// axes keep the time.
//
// A move runs at the selected rate while it is held; a guide pulse runs its
// time at the guide rate, whatever rate is selected; a slew goes to a
// target at the slewing rate on both axes at once, the short way round in
// right ascension. Both axes move in their own coordinate: the right
// ascension by that many degrees of right ascension a second. North raises
// the declination; east raises the right ascension.
//
// Left alone the pointing wanders: a periodic error of the right-ascension
// drive (a sine of a few arc-seconds over some minutes) and a slow
// declination drift, so an unguided series shows the stars wander.
//
// Not safe to share between threads by itself: whoever drives it from
// another thread holds one mutex with whoever reads the pointing
// (Observatory::mount_mutex).
#pragma once

#include <cstdint>

#include "core/clock.h"

namespace stellacq::sim {

inline constexpr double kSiderealArcsecPerS = 15.041;

struct MountAxesOptions {
  double guide_rate_sidereal = 0.5;        // guide rate as a fraction of the sidereal rate
  double centre_rate_sidereal = 8.0;       // MoveRate::Centre
  double find_rate_sidereal = 64.0;        // MoveRate::Find
  double slew_rate_deg_per_s = 3.0;        // MoveRate::Slew and a slew to a target
  double periodic_error_arcsec = 4.0;      // amplitude (half the peak-to-peak swing)
  double periodic_error_period_s = 480.0;  // one turn of the worm
  double dec_drift_arcsec_per_s = 0.01;    // polar misalignment
};

// Time each motion has run so far, microseconds.
struct MoveTimes {
  std::int64_t north_us = 0, south_us = 0, east_us = 0, west_us = 0;
};

// The rate a held move runs at.
enum class MoveRate { Guide, Centre, Find, Slew };

enum class Toward { North, South, East, West };

class MountAxes {
 public:
  // Starts at the given pointing, degrees.
  MountAxes(Clock& clock, double ra_deg, double dec_deg, const MountAxesOptions& options = {});

  // Pointing now, degrees; with the motions and the drift up to now.
  double ra_deg();
  double dec_deg();
  // Motions so far (those running count up to now).
  MoveTimes move_times();
  bool slewing();

  // Commands, taking effect now.
  void set_rate(MoveRate rate);
  // Starts (or stops) moving that way at the selected rate.
  void move(Toward toward, bool on);
  // Moves that way at the guide rate for `ms` from now.
  void pulse(Toward toward, std::int64_t ms);
  // Ends every move, pulse and slew where it is.
  void stop();
  // Slews to a pointing, degrees.
  void slew_to(double ra_deg, double dec_deg);
  // Takes this as its pointing from now on; ends a slew.
  void sync(double ra_deg, double dec_deg);

  MountAxesOptions& options() { return options_; }

 private:
  void advance();
  double rate_deg_per_s() const;
  double drift_dec_deg() const;
  double drift_ra_deg(double dec_deg) const;

  Clock& clock_;
  MountAxesOptions options_;
  std::int64_t start_us_;
  std::int64_t now_us_;
  double ra0_deg_, dec0_deg_;  // pointing at the start
  double moved_ra_deg_ = 0;    // sum of the motions, slews and syncs
  double moved_dec_deg_ = 0;
  bool held_[4] = {false, false, false, false};      // north, south, east, west
  std::int64_t pulse_end_us_[4] = {-1, -1, -1, -1};  // -1: no pulse
  MoveRate rate_ = MoveRate::Guide;
  MoveTimes times_;
  bool slewing_ = false;
  double slew_left_ra_deg_ = 0, slew_left_dec_deg_ = 0;  // still to go, signed
};

}  // namespace stellacq::sim
