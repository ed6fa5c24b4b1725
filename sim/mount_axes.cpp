#include "sim/mount_axes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace stellacq::sim {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

double wrap360(double deg) {
  const double wrapped = std::fmod(deg, 360.0);
  return wrapped < 0 ? wrapped + 360.0 : wrapped;
}

// The signed difference a - b of two right ascensions, the short way round.
double ra_difference(double a, double b) { return std::fmod(a - b + 540.0, 360.0) - 180.0; }

}  // namespace

MountAxes::MountAxes(Clock& clock, double ra_deg, double dec_deg, const MountAxesOptions& options)
    : clock_(clock),
      options_(options),
      start_us_(clock.monotonic_us()),
      now_us_(start_us_),
      ra0_deg_(ra_deg),
      dec0_deg_(dec_deg) {}

double MountAxes::rate_deg_per_s() const {
  switch (rate_) {
    case MoveRate::Guide:
      return options_.guide_rate_sidereal * kSiderealArcsecPerS / 3600.0;
    case MoveRate::Centre:
      return options_.centre_rate_sidereal * kSiderealArcsecPerS / 3600.0;
    case MoveRate::Find:
      return options_.find_rate_sidereal * kSiderealArcsecPerS / 3600.0;
    case MoveRate::Slew:
      break;
  }
  return options_.slew_rate_deg_per_s;
}

void MountAxes::advance() {
  const std::int64_t now = clock_.monotonic_us();
  const std::int64_t dt = now - now_us_;
  if (dt <= 0) return;
  const std::int64_t before = now_us_;
  now_us_ = now;
  const double rate = rate_deg_per_s();
  const double guide = options_.guide_rate_sidereal * kSiderealArcsecPerS / 3600.0;
  std::int64_t* const times[4] = {&times_.north_us, &times_.south_us, &times_.east_us, &times_.west_us};
  double deg[4] = {0, 0, 0, 0};
  for (int d = 0; d < 4; ++d) {
    if (held_[d]) {
      deg[d] = rate * static_cast<double>(dt) / 1e6;
      *times[d] += dt;
    } else if (pulse_end_us_[d] > before) {
      const std::int64_t run = std::min(now, pulse_end_us_[d]) - before;
      deg[d] = guide * static_cast<double>(run) / 1e6;
      *times[d] += run;
    }
    if (pulse_end_us_[d] >= 0 && pulse_end_us_[d] <= now) pulse_end_us_[d] = -1;
  }
  moved_dec_deg_ += deg[0] - deg[1];
  moved_ra_deg_ += deg[2] - deg[3];

  if (slewing_) {
    const double step = options_.slew_rate_deg_per_s * static_cast<double>(dt) / 1e6;
    const auto go = [step](double& left, double& moved) {
      const double d = std::clamp(left, -step, step);
      moved += d;
      left -= d;
    };
    go(slew_left_ra_deg_, moved_ra_deg_);
    go(slew_left_dec_deg_, moved_dec_deg_);
    slewing_ = slew_left_ra_deg_ != 0 || slew_left_dec_deg_ != 0;
  }
}

double MountAxes::drift_dec_deg() const {
  const double t = static_cast<double>(now_us_ - start_us_) / 1e6;
  return options_.dec_drift_arcsec_per_s * t / 3600.0;
}

double MountAxes::drift_ra_deg(double dec_deg) const {
  const double t = static_cast<double>(now_us_ - start_us_) / 1e6;
  // The drive's periodic error is a swing on the sky; in right ascension it
  // is larger by 1 / cos(declination).
  const double swing_arcsec = options_.periodic_error_arcsec *
                              std::sin(2.0 * std::numbers::pi * t / options_.periodic_error_period_s);
  return swing_arcsec / 3600.0 / std::max(std::cos(dec_deg * kDeg), 1e-3);
}

double MountAxes::dec_deg() {
  advance();
  return std::clamp(dec0_deg_ + moved_dec_deg_ + drift_dec_deg(), -90.0, 90.0);
}

double MountAxes::ra_deg() {
  const double dec = dec_deg();
  return wrap360(ra0_deg_ + moved_ra_deg_ + drift_ra_deg(dec));
}

MoveTimes MountAxes::move_times() {
  advance();
  return times_;
}

bool MountAxes::slewing() {
  advance();
  return slewing_;
}

void MountAxes::set_rate(MoveRate rate) {
  advance();
  rate_ = rate;
}

void MountAxes::move(Toward toward, bool on) {
  advance();
  held_[static_cast<int>(toward)] = on;
}

void MountAxes::pulse(Toward toward, std::int64_t ms) {
  advance();
  pulse_end_us_[static_cast<int>(toward)] = now_us_ + ms * 1000;
}

void MountAxes::stop() {
  advance();
  std::fill(std::begin(held_), std::end(held_), false);
  std::fill(std::begin(pulse_end_us_), std::end(pulse_end_us_), -1);
  slewing_ = false;
  slew_left_ra_deg_ = slew_left_dec_deg_ = 0;
}

void MountAxes::slew_to(double ra_deg, double dec_deg) {
  const double ra = this->ra_deg();
  slew_left_dec_deg_ = dec_deg - this->dec_deg();
  slew_left_ra_deg_ = ra_difference(ra_deg, ra);
  slewing_ = slew_left_ra_deg_ != 0 || slew_left_dec_deg_ != 0;
}

void MountAxes::sync(double ra_deg, double dec_deg) {
  moved_dec_deg_ += std::clamp(dec_deg, -90.0, 90.0) - this->dec_deg();
  moved_ra_deg_ += ra_difference(ra_deg, this->ra_deg());
  slewing_ = false;
  slew_left_ra_deg_ = slew_left_dec_deg_ = 0;
}

}  // namespace stellacq::sim
