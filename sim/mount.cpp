#include "sim/mount.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace stellacq::sim {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr std::size_t kLongestCommand = 40;

double wrap360(double deg) {
  const double wrapped = std::fmod(deg, 360.0);
  return wrapped < 0 ? wrapped + 360.0 : wrapped;
}

// Reads "HH:MM:SS" or "HH:MM.T" (hours) or "sDD*MM:SS", "sDD*MM" (degrees)
// after optional blanks. Any non-digit separates the fields, so the degree
// mark may be '*', ':', '\xDF' or '\''. Fails on anything else.
bool parse_sexagesimal(std::string_view text, bool is_signed, double* value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  double sign = 1;
  if (is_signed && i < text.size() && (text[i] == '+' || text[i] == '-')) sign = text[i++] == '-' ? -1 : 1;
  double fields[3] = {0, 0, 0};
  int count = 0;
  while (i < text.size() && count < 3) {
    std::size_t start = i;
    while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) != 0 || text[i] == '.')) ++i;
    if (i == start || i - start > 4) return false;
    fields[count++] = std::atof(std::string(text.substr(start, i - start)).c_str());
    if (i < text.size()) ++i;  // the separator
  }
  if (count < 2 || i < text.size() || fields[1] >= 60 || fields[2] >= 60) return false;
  *value = sign * (fields[0] + fields[1] / 60.0 + fields[2] / 3600.0);
  return true;
}

}  // namespace

Mount::Mount(Clock& clock, double ra_deg, double dec_deg, const MountOptions& options)
    : clock_(clock),
      options_(options),
      start_us_(clock.monotonic_us()),
      now_us_(start_us_),
      ra0_deg_(ra_deg),
      dec0_deg_(dec_deg),
      high_precision_(options.high_precision) {}

double Mount::rate_deg_per_s() const {
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

void Mount::advance() {
  const std::int64_t now = clock_.monotonic_us();
  const std::int64_t dt = now - now_us_;
  if (dt <= 0) return;
  const std::int64_t before = now_us_;
  now_us_ = now;
  // Both axes move in their own coordinate: the right ascension by that
  // many degrees of right ascension a second.
  const double rate = rate_deg_per_s();
  const double guide = options_.guide_rate_sidereal * kSiderealArcsecPerS / 3600.0;
  const bool held[4] = {north_, south_, east_, west_};
  std::int64_t* const times[4] = {&times_.north_us, &times_.south_us, &times_.east_us, &times_.west_us};
  double deg[4] = {0, 0, 0, 0};
  for (int d = 0; d < 4; ++d) {
    if (held[d]) {
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

double Mount::drift_dec_deg() const {
  const double t = static_cast<double>(now_us_ - start_us_) / 1e6;
  return options_.dec_drift_arcsec_per_s * t / 3600.0;
}

double Mount::drift_ra_deg(double dec_deg) const {
  const double t = static_cast<double>(now_us_ - start_us_) / 1e6;
  // The drive's periodic error is a swing on the sky; in right ascension it
  // is larger by 1 / cos(declination).
  const double swing_arcsec = options_.periodic_error_arcsec *
                              std::sin(2.0 * std::numbers::pi * t / options_.periodic_error_period_s);
  return swing_arcsec / 3600.0 / std::max(std::cos(dec_deg * kDeg), 1e-3);
}

double Mount::dec_deg() {
  advance();
  return std::clamp(dec0_deg_ + moved_dec_deg_ + drift_dec_deg(), -90.0, 90.0);
}

double Mount::ra_deg() {
  const double dec = dec_deg();
  return wrap360(ra0_deg_ + moved_ra_deg_ + drift_ra_deg(dec));
}

MoveTimes Mount::move_times() {
  advance();
  return times_;
}

bool Mount::slewing() {
  advance();
  return slewing_;
}

void Mount::sync(double ra_deg, double dec_deg) {
  moved_dec_deg_ += std::clamp(dec_deg, -90.0, 90.0) - this->dec_deg();
  moved_ra_deg_ += std::fmod(ra_deg - this->ra_deg() + 540.0, 360.0) - 180.0;
  slewing_ = false;
  slew_left_ra_deg_ = slew_left_dec_deg_ = 0;
}

void Mount::receive(std::string_view bytes) {
  advance();
  received_.append(bytes);
  if (received_.size() > 2 * kReceivedKept) received_.erase(0, received_.size() - kReceivedKept);
  for (const char ch : bytes) {
    if (!in_command_) {
      if (ch == ':') {
        in_command_ = true;
        command_.clear();
      } else if (ch == '\x06' && options_.powered) {
        reply("P");
      }
      // Anything else between commands ('#', CR, LF, noise) is dropped.
    } else if (ch == '#') {
      in_command_ = false;
      if (command_.size() <= kLongestCommand) {
        run(command_);
      } else if (unknown_) {
        unknown_(":" + command_ + "...#");  // no command is this long: noise
      }
    } else if (command_.size() <= kLongestCommand) {
      command_ += ch;
    }
  }
}

void Mount::run(const std::string& command) {
  if (!options_.powered) return;
  if (run_query(command) || run_motion(command) || run_setting(command)) return;
  if (unknown_) unknown_(":" + command + "#");
}

bool Mount::run_query(const std::string& c) {
  char text[64];
  if (c == "GR") {
    reply(ra_reply(ra_deg(), high_precision_));
  } else if (c == "GD") {
    reply(dec_reply(dec_deg(), high_precision_, options_.degree_mark));
  } else if (c == "GVP") {
    reply("SkySensor2000PC#");
  } else if (c == "GVN") {
    reply("2.10#");
  } else if (c == "Gc") {
    reply("24#");
  } else if (c == "GM" || c == "GN" || c == "GO" || c == "GP") {
    reply(c == "GM" ? "STELLACQ#" : "Site" + std::to_string(c == "GN" ? 2 : c == "GO" ? 3 : 4) + "#");
  } else if (c == "GT") {
    reply("60.1#");
  } else if (c == "Gt" || c == "Gg") {
    // Latitude "sDD*MM", longitude westwards from Greenwich "DDD*MM".
    const bool lat = c == "Gt";
    const double value = lat ? options_.latitude_deg : wrap360(-options_.longitude_east_deg);
    const long minutes = std::lround(std::fabs(value) * 60.0);
    if (lat) {
      std::snprintf(text, sizeof text, "%c%02ld%c%02ld#", value < 0 ? '-' : '+', minutes / 60,
                    options_.degree_mark, minutes % 60);
    } else {
      std::snprintf(text, sizeof text, "%03ld%c%02ld#", minutes / 60 % 360, options_.degree_mark,
                    minutes % 60);
    }
    reply(text);
  } else if (c == "GG") {
    std::snprintf(text, sizeof text, "%+03d#", -options_.utc_offset_hours);
    reply(text);
  } else if (c == "GL" || c == "GC") {
    const LocalDateTime t = clock_.local_now();
    if (c == "GL") {
      std::snprintf(text, sizeof text, "%02d:%02d:%02d#", t.hour, t.minute, t.second);
    } else {
      std::snprintf(text, sizeof text, "%02d/%02d/%02d#", t.month, t.day, t.year % 100);
    }
    reply(text);
  } else if (c == "D") {
    reply(slewing() ? "|#" : "#");
  } else {
    return false;
  }
  return true;
}

bool Mount::run_motion(const std::string& c) {
  bool* const axes[4] = {&north_, &south_, &east_, &west_};
  const auto axis = [](char d) { return d == 'n' ? 0 : d == 's' ? 1 : d == 'e' ? 2 : d == 'w' ? 3 : -1; };
  if (c.size() == 2 && (c[0] == 'M' || c[0] == 'Q') && axis(c[1]) >= 0) {
    *axes[axis(c[1])] = c[0] == 'M';
  } else if (c == "Q") {
    north_ = south_ = east_ = west_ = false;
    for (std::int64_t& end : pulse_end_us_) end = -1;
    slewing_ = false;
    slew_left_ra_deg_ = slew_left_dec_deg_ = 0;
  } else if (c.size() > 3 && c[0] == 'M' && c[1] == 'g' && axis(c[2]) >= 0 &&
             c.find_first_not_of("0123456789", 3) == std::string::npos && c.size() <= 7) {
    pulse_end_us_[axis(c[2])] = now_us_ + std::stoll(c.substr(3)) * 1000;
  } else if (c == "RG" || c == "RC" || c == "RM" || c == "RS") {
    rate_ = c[1] == 'G'   ? MoveRate::Guide
            : c[1] == 'C' ? MoveRate::Centre
            : c[1] == 'M' ? MoveRate::Find
                          : MoveRate::Slew;
  } else if (c == "MS") {
    if (target_ra_deg_ < 0) {
      // Nothing to go to: the controller says the object is below the horizon.
      reply("1Object Below Horizon#");
      return true;
    }
    const double ra = ra_deg();
    slew_left_dec_deg_ = target_dec_deg_ - dec_deg();
    double dra = std::fmod(target_ra_deg_ - ra + 540.0, 360.0) - 180.0;  // the short way round
    slew_left_ra_deg_ = dra;
    slewing_ = slew_left_ra_deg_ != 0 || slew_left_dec_deg_ != 0;
    reply("0");
  } else if (c == "CM") {
    if (target_ra_deg_ >= 0) sync(target_ra_deg_, target_dec_deg_);
    reply("Coordinates     matched.        #");
  } else if (c == "U") {
    high_precision_ = !high_precision_;
  } else if (c == "AP" || c == "AA" || c == "AL") {
    // Alignment mode: taken, nothing changes on an equatorial mount.
  } else {
    return false;
  }
  return true;
}

bool Mount::run_setting(const std::string& c) {
  if (c.size() < 2 || c[0] != 'S') return false;
  const std::string_view value = std::string_view(c).substr(2);
  double parsed = 0;
  bool ok = false;
  switch (c[1]) {
    case 'r':
      ok = parse_sexagesimal(value, false, &parsed) && parsed < 24;
      if (ok) target_ra_deg_ = parsed * 15.0;
      break;
    case 'd':
      ok = parse_sexagesimal(value, true, &parsed) && std::fabs(parsed) <= 90;
      if (ok) target_dec_deg_ = parsed;
      break;
    case 't':
      ok = parse_sexagesimal(value, true, &parsed) && std::fabs(parsed) <= 90;
      if (ok) options_.latitude_deg = parsed;
      break;
    case 'g':
      ok = parse_sexagesimal(value, false, &parsed) && parsed <= 360;
      if (ok) options_.longitude_east_deg = -parsed;
      break;
    case 'G': {
      char* end = nullptr;
      const long hours = std::strtol(std::string(value).c_str(), &end, 10);
      ok = end != nullptr && *end == '\0' && hours >= -24 && hours <= 24 && !value.empty();
      if (ok) options_.utc_offset_hours = static_cast<int>(-hours);
      break;
    }
    case 'L':
      ok = parse_sexagesimal(value, false, &parsed) && parsed < 24;
      break;
    case 'C':
      ok = value.size() >= 8;
      if (ok) {
        reply("1Updating        planetary data#                              #");
        return true;
      }
      break;
    default:
      return false;
  }
  reply(ok ? "1" : "0");
  return true;
}

void Mount::reply(const std::string& text) {
  // Characters that have not yet arrived at the PC are still the controller's.
  const double now = static_cast<double>(now_us_);
  const auto on_the_way =
      static_cast<std::size_t>(due_us_.end() - std::upper_bound(due_us_.begin(), due_us_.end(), now));
  if (on_the_way + text.size() > kReplyRoom) return;
  // The controller starts answering at once (after the configured delay);
  // a reply still on its way delays the next one.
  double at = now + static_cast<double>(options_.reply_delay_us);
  if (!due_us_.empty()) at = std::max(at, due_us_.back());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (options_.reply_pause_us > 0 && text.size() > 1 && i == text.size() / 2) {
      at += static_cast<double>(options_.reply_pause_us);
    }
    at += char_us();
    output_ += text[i];
    due_us_.push_back(at);
  }
}

std::int64_t Mount::next_output_due_us() const {
  if (due_us_.empty()) return -1;
  return static_cast<std::int64_t>(std::ceil(due_us_.front()));
}

std::string Mount::take_output() {
  const double now = static_cast<double>(clock_.monotonic_us());
  const auto arrived = std::upper_bound(due_us_.begin(), due_us_.end(), now);
  const auto count = static_cast<std::size_t>(arrived - due_us_.begin());
  std::string out = output_.substr(0, count);
  output_.erase(0, count);
  due_us_.erase(due_us_.begin(), arrived);
  return out;
}

std::string Mount::ra_reply(double ra_deg, bool high_precision) {
  const double hours = wrap360(ra_deg) / 15.0;
  char text[64];
  if (high_precision) {
    const long long seconds = std::llround(hours * 3600.0) % 86400;
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld#", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    const long long tenths = std::llround(hours * 600.0) % 14400;  // tenths of a minute
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld#", tenths / 600, tenths / 10 % 60, tenths % 10);
  }
  return text;
}

std::string Mount::dec_reply(double dec_deg, bool high_precision, char degree_mark) {
  const double clamped = std::clamp(dec_deg, -90.0, 90.0);
  const long long units = std::llround(std::fabs(clamped) * (high_precision ? 3600.0 : 60.0));
  const char sign = clamped < 0 && units > 0 ? '-' : '+';
  char text[64];
  if (high_precision) {
    std::snprintf(text, sizeof text, "%c%02lld%c%02lld'%02lld#", sign, units / 3600, degree_mark,
                  units / 60 % 60, units % 60);
  } else {
    std::snprintf(text, sizeof text, "%c%02lld%c%02lld#", sign, units / 60, degree_mark, units % 60);
  }
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
