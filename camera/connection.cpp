// Connection, cooling and the periodic temperature query.
#include "camera/connection.h"

#include <cmath>

#include "camera/operations.h"
#include "core/numeric.h"
#include "program/parts.h"
#include "program/program.h"

namespace stellacq {

CoolingSetPoint cooling_set_point(const std::string& set_temperature_text) {
  // Tenths of a degree, halves going up (-10.05 -> -100, -10.06 -> -101).
  const double tenths = std::floor(10.0 * numeric_value(set_temperature_text) + 0.5);
  CoolingSetPoint s;
  s.field = decimal_text(tenths / 10.0);
  s.tenths = clamp_to_int32(tenths);
  return s;
}

// A failed exchange below puts its reason on the status line; the command
// simply ends there.

void camera_menu_link_Click(Program& p) {
  std::string greeting;
  const CameraStatus s = camera_of(p).connect(&greeting);
  // Only the greeting answers no command: any later failure came after it.
  if (s.ok() || !s.command.empty()) set_status(p, greeting);
  (void)camera_ok(status_line(p), s);
}

void camera_menu_link_sumi_Click(Program& p) {
  if (!p.ports.set) {
    set_status(p, kChoosePortMessage);
    return;
  }
  set_status(p, kAssumedConnectedMessage);
  (void)camera_ok(status_line(p), camera_of(p).assume_connected());
}

void camera_menu_cool_Click(Program& p) {
  if (p.link.camera_connected == 0) {
    set_status(p, kPleaseConnectMessage);
    return;
  }
  set_status(p, kCoolingStartedMessage);
  const CoolingSetPoint set_point = cooling_set_point(p.form.Text3);
  const CameraStatus s = camera_of(p).cooling_on(set_point.tenths);
  // The field takes the rounded value once the unit has taken "F 99".
  if (s.ok() || s.command.starts_with("C ")) p.form.Text3 = set_point.field;
  (void)camera_ok(status_line(p), s);
}

void camera_menu_cool_stop_Click(Program& p) {
  if (p.link.camera_connected == 0) {
    set_status(p, kPleaseConnectMessage);
    return;
  }
  set_status(p, kCoolingStoppedMessage);
  p.form.Text3 = kNoSetTemperature;
  (void)camera_ok(status_line(p), camera_of(p).cooling_off());
  p.ui.yield();
}

void Timer1_Timer(Program& p) {
  const LocalDateTime now = p.clock.local_now();
  std::string line = date_text(now) + " " + time_text(now);
  if (p.series.state().frames_remaining > 0) {
    line += " 残り" + decimal_text(p.series.state().frames_remaining) + "枚";
  }
  p.form.Text1 = line;

  if (p.link.camera_connected == 1 && !p.link.unit_silent && p.ports.set) {
    const TemperatureResult t = camera_of(p).read_temperature();
    if (camera_ok(status_line(p), t.status)) p.form.Text4 = decimal_text(t.celsius);
  }
}

}  // namespace stellacq
