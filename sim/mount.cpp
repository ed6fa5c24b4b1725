#include "sim/mount.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace stellacq::sim {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

}  // namespace

Mount::Mount(Clock& clock, double ra_deg, double dec_deg, const MountOptions& options)
    : clock_(clock),
      options_(options),
      start_us_(clock.monotonic_us()),
      now_us_(start_us_),
      ra0_deg_(ra_deg),
      dec0_deg_(dec_deg) {}

void Mount::advance() {
  const std::int64_t now = clock_.monotonic_us();
  const std::int64_t dt = now - now_us_;
  if (dt <= 0) return;
  now_us_ = now;
  // Both axes move at the guide rate in their own coordinate: the right
  // ascension by that many arc-seconds of right ascension a second.
  const double deg =
      options_.guide_rate_sidereal * kSiderealArcsecPerS / 3600.0 * static_cast<double>(dt) / 1e6;
  moved_dec_deg_ += deg * ((north_ ? 1 : 0) - (south_ ? 1 : 0));
  moved_ra_deg_ += deg * ((east_ ? 1 : 0) - (west_ ? 1 : 0));
  if (north_) times_.north_us += dt;
  if (south_) times_.south_us += dt;
  if (east_) times_.east_us += dt;
  if (west_) times_.west_us += dt;
}

double Mount::dec_deg() {
  advance();
  const double t = static_cast<double>(now_us_ - start_us_) / 1e6;
  return std::clamp(dec0_deg_ + moved_dec_deg_ + options_.dec_drift_arcsec_per_s * t / 3600.0, -90.0, 90.0);
}

double Mount::ra_deg() {
  const double dec = dec_deg();
  const double t = static_cast<double>(now_us_ - start_us_) / 1e6;
  // The drive's periodic error is a swing on the sky; in right ascension it
  // is larger by 1 / cos(declination).
  const double swing_arcsec = options_.periodic_error_arcsec *
                              std::sin(2.0 * std::numbers::pi * t / options_.periodic_error_period_s);
  const double ra = ra0_deg_ + moved_ra_deg_ + swing_arcsec / 3600.0 / std::max(std::cos(dec * kDeg), 1e-3);
  const double wrapped = std::fmod(ra, 360.0);
  return wrapped < 0 ? wrapped + 360.0 : wrapped;
}

MoveTimes Mount::move_times() {
  advance();
  return times_;
}

void Mount::receive(std::string_view bytes) {
  advance();
  received_.append(bytes);
  for (const char ch : bytes) {
    if (ch == ':') {
      in_command_ = true;
      command_.clear();
    } else if (in_command_ && ch == '#') {
      in_command_ = false;
      run(command_);
    } else if (in_command_) {
      if (command_.size() < 32) command_ += ch;
    }
  }
}

void Mount::run(const std::string& command) {
  if (!options_.powered) return;
  if (command == "GR") return reply(ra_reply(ra_deg()));
  if (command == "GD") return reply(dec_reply(dec_deg()));
  if (command.size() == 2 && (command[0] == 'M' || command[0] == 'Q')) {
    const bool on = command[0] == 'M';
    switch (command[1]) {
      case 'n':
        north_ = on;
        break;
      case 's':
        south_ = on;
        break;
      case 'e':
        east_ = on;
        break;
      case 'w':
        west_ = on;
        break;
      default:
        break;
    }
  } else if (command == "Q") {
    north_ = south_ = east_ = west_ = false;
  }
}

void Mount::reply(const std::string& text) {
  // The controller starts answering at once; a reply still on its way
  // delays the next one.
  double at = static_cast<double>(now_us_);
  if (!due_us_.empty() && taken_ < due_us_.size()) at = std::max(at, due_us_.back());
  for (const char ch : text) {
    at += char_us();
    output_ += ch;
    due_us_.push_back(at);
  }
}

std::string Mount::take_output() {
  const double now = static_cast<double>(clock_.monotonic_us());
  const std::size_t first = taken_;
  while (taken_ < output_.size() && due_us_[taken_] <= now) ++taken_;
  std::string out = output_.substr(first, taken_ - first);
  if (taken_ == output_.size()) {
    output_.clear();
    due_us_.clear();
    taken_ = 0;
  }
  return out;
}

std::string Mount::ra_reply(double ra_deg) {
  double wrapped = std::fmod(ra_deg, 360.0);
  if (wrapped < 0) wrapped += 360.0;
  const long long seconds = std::llround(wrapped / 15.0 * 3600.0) % 86400;
  char text[64];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld#", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

std::string Mount::dec_reply(double dec_deg) {
  const double clamped = std::clamp(dec_deg, -90.0, 90.0);
  const long long arcsec = std::llround(std::fabs(clamped) * 3600.0);
  char text[64];
  std::snprintf(text, sizeof text, "%c%02lld*%02lld'%02lld#", clamped < 0 && arcsec > 0 ? '-' : '+',
                arcsec / 3600, arcsec / 60 % 60, arcsec % 60);
  return text;
}

LineError MountLine::open(std::string* detail) {
  if (com_ < 1 || com_ > 3) return LineError::BadPortNumber;
  if (!parse_line_settings(settings_)) {
    if (detail) *detail = settings_;
    return LineError::BadSettings;
  }
  open_ = true;
  mount_.take_output();  // what came while the port was closed is lost
  return LineError::None;
}

void MountLine::discard_input() {
  if (open_) mount_.take_output();
}

LineError MountLine::send(const std::string& text) {
  if (!open_) return LineError::NotOpen;
  mount_.receive(text);
  return LineError::None;
}

std::string MountLine::take_received() { return open_ ? mount_.take_output() : std::string(); }

}  // namespace stellacq::sim
