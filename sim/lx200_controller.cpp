#include "sim/lx200_controller.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace stellacq::sim {

namespace {

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

// The replies to ":GR#" and ":GD#" for a pointing.
std::string ra_reply(double ra_deg, bool high_precision) {
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

std::string dec_reply(double dec_deg, bool high_precision, char degree_mark) {
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

}  // namespace

Lx200Controller::Lx200Controller(Clock& clock, MountAxes& axes, const Lx200Options& options)
    : clock_(clock),
      axes_(axes),
      options_(options),
      now_us_(clock.monotonic_us()),
      high_precision_(options.high_precision) {}

void Lx200Controller::receive(std::string_view bytes) {
  now_us_ = clock_.monotonic_us();
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

void Lx200Controller::run(const std::string& command) {
  if (!options_.powered) return;
  if (run_query(command) || run_motion(command) || run_setting(command)) return;
  if (unknown_) unknown_(":" + command + "#");
}

bool Lx200Controller::run_query(const std::string& c) {
  char text[64];
  if (c == "GR") {
    reply(ra_reply(axes_.ra_deg(), high_precision_));
  } else if (c == "GD") {
    reply(dec_reply(axes_.dec_deg(), high_precision_, options_.degree_mark));
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
    reply(axes_.slewing() ? "|#" : "#");
  } else {
    return false;
  }
  return true;
}

bool Lx200Controller::run_motion(const std::string& c) {
  const auto toward = [](char d) {
    return d == 'n' ? Toward::North : d == 's' ? Toward::South : d == 'e' ? Toward::East : Toward::West;
  };
  const auto is_direction = [](char d) { return d == 'n' || d == 's' || d == 'e' || d == 'w'; };
  if (c.size() == 2 && (c[0] == 'M' || c[0] == 'Q') && is_direction(c[1])) {
    axes_.move(toward(c[1]), c[0] == 'M');
  } else if (c == "Q") {
    axes_.stop();
  } else if (c.size() > 3 && c[0] == 'M' && c[1] == 'g' && is_direction(c[2]) &&
             c.find_first_not_of("0123456789", 3) == std::string::npos && c.size() <= 7) {
    axes_.pulse(toward(c[2]), std::stoll(c.substr(3)));
  } else if (c == "RG" || c == "RC" || c == "RM" || c == "RS") {
    axes_.set_rate(c[1] == 'G'   ? MoveRate::Guide
                   : c[1] == 'C' ? MoveRate::Centre
                   : c[1] == 'M' ? MoveRate::Find
                                 : MoveRate::Slew);
  } else if (c == "MS") {
    if (target_ra_deg_ < 0) {
      // Nothing to go to: the controller says the object is below the horizon.
      reply("1Object Below Horizon#");
      return true;
    }
    axes_.slew_to(target_ra_deg_, target_dec_deg_);
    reply("0");
  } else if (c == "CM") {
    if (target_ra_deg_ >= 0) axes_.sync(target_ra_deg_, target_dec_deg_);
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

bool Lx200Controller::run_setting(const std::string& c) {
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

void Lx200Controller::reply(const std::string& text) {
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

std::string Lx200Controller::take_output() {
  const double now = static_cast<double>(clock_.monotonic_us());
  const auto arrived = std::upper_bound(due_us_.begin(), due_us_.end(), now);
  const auto count = static_cast<std::size_t>(arrived - due_us_.begin());
  std::string out = output_.substr(0, count);
  output_.erase(0, count);
  due_us_.erase(due_us_.begin(), arrived);
  return out;
}

LineError MountLine::open(std::string* detail) {
  if (com_ < 1 || com_ > 3) return LineError::BadPortNumber;
  if (!parse_line_settings(settings_)) {
    if (detail) *detail = settings_;
    return LineError::BadSettings;
  }
  open_ = true;
  controller_.take_output();  // what came while the port was closed is lost
  return LineError::None;
}

void MountLine::discard_input() {
  if (open_) controller_.take_output();
}

LineError MountLine::send(const std::string& text) {
  if (!open_) return LineError::NotOpen;
  controller_.receive(text);
  return LineError::None;
}

std::string MountLine::take_received() { return open_ ? controller_.take_output() : std::string(); }

}  // namespace stellacq::sim
