// Connection, cooling and the periodic temperature query.
#include "camera/connection.h"

#include <cmath>

#include "camera/failure_text.h"
#include "core/numeric.h"

namespace stellacq {

CoolingSetPoint cooling_set_point(double set_temperature) {
  // Tenths of a degree, halves going up (-10.05 -> -100, -10.06 -> -101).
  const double tenths = std::floor(10.0 * set_temperature + 0.5);
  CoolingSetPoint s;
  s.field = decimal_text(tenths / 10.0);
  s.tenths = clamp_to_int32(tenths);
  return s;
}

Camera& CameraConnection::camera() {
  camera_.set_models(settings_.head_model, settings_.unit_model);
  return camera_;
}

// A failed exchange below puts its reason on the status line; the command
// simply ends there.

void CameraConnection::camera_menu_link_Click() {
  std::string greeting;
  const CameraStatus s = camera().connect(&greeting);
  // Only the greeting answers no command: any later failure came after it.
  if (s.ok() || !s.command.empty()) status_.show(greeting);
  (void)camera_ok(status_, s);
}

void CameraConnection::camera_menu_link_sumi_Click() {
  if (!ports_.set) {
    status_.show(kChoosePortMessage);
    return;
  }
  status_.show(kAssumedConnectedMessage);
  (void)camera_ok(status_, camera().assume_connected());
}

void CameraConnection::camera_menu_cool_Click(double set_temperature) {
  if (camera_.link().camera_connected == 0) {
    status_.show(kPleaseConnectMessage);
    return;
  }
  status_.show(kCoolingStartedMessage);
  const CoolingSetPoint set_point = cooling_set_point(set_temperature);
  const CameraStatus s = camera().cooling_on(set_point.tenths);
  // The field takes the rounded value once the unit has taken "F 99".
  if (s.ok() || s.command.starts_with("C ")) fields_.set_temperature = set_point.field;
  (void)camera_ok(status_, s);
}

void CameraConnection::camera_menu_cool_stop_Click() {
  if (camera_.link().camera_connected == 0) {
    status_.show(kPleaseConnectMessage);
    return;
  }
  status_.show(kCoolingStoppedMessage);
  fields_.set_temperature = kNoSetTemperature;
  (void)camera_ok(status_, camera().cooling_off());
  ui_.yield();
}

void CameraConnection::Timer1_Timer() {
  const LocalDateTime now = clock_.local_now();
  std::string line = date_text(now) + " " + time_text(now);
  const int remaining = frames_remaining_ ? frames_remaining_() : -1;
  if (remaining > 0) {
    line += " 残り" + decimal_text(remaining) + "枚";
  }
  fields_.date_line = line;

  const CameraLinkState& link = camera_.link();
  if (link.camera_connected == 1 && !link.unit_silent && ports_.set) {
    const TemperatureResult t = camera().read_temperature();
    if (camera_ok(status_, t.status)) fields_.temperature = decimal_text(t.celsius);
  }
}

}  // namespace stellacq
