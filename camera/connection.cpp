// Connection, cooling and the periodic temperature query.
#include "camera/connection.h"

#include <cmath>

#include "camera/operations.h"
#include "core/numeric.h"
#include "program/program.h"

namespace stellacq {

CoolingSetPoint cooling_set_point(const std::string& set_temperature_text) {
  // Tenths of a degree, halves going up (-10.05 -> -100, -10.06 -> -101).
  const double tenths = std::floor(10.0 * numeric_value(set_temperature_text) + 0.5);
  CoolingSetPoint s;
  s.field = decimal_text(tenths / 10.0);
  std::string wire = decimal_text(tenths);
  if (tenths >= 0) wire[0] = '+';  // the unit wants an explicit sign: "+50", "+0"
  s.command = "C " + wire;
  return s;
}

// A failed exchange below has already put its reason on the status line;
// the command simply ends there.

void camera_menu_link_Click(Program& p) {
  if (!port_chosen(p)) return;
  p.link.unit_silent = false;
  p.port.PortOut(p.ports.port_control, kControlIdle);
  p.port.PortOut(p.ports.port_control, kControlReset);
  p.busy.count(kResetPulseCounts);
  p.port.PortOut(p.ports.port_control, kControlIdle);

  p.link.command_text.clear();  // the greeting answers no command
  CameraPort port = camera_port(p);
  if (!link_ok(p, read_reply(port, p.link, ReplyMode::Framed))) return;
  set_status(p, p.link.reply_text);
  p.link.camera_connected = 1;
  (void)camera_exchange(p, sensor_size_command(p.settings.head_model));
}

void camera_menu_link_sumi_Click(Program& p) {
  if (!port_chosen(p)) return;
  p.link.unit_silent = false;
  p.link.camera_connected = 1;
  set_status(p, kAssumedConnectedMessage);
  (void)camera_exchange(p, sensor_size_command(p.settings.head_model));
}

void camera_menu_cool_Click(Program& p) {
  if (p.link.camera_connected == 0) {
    set_status(p, kPleaseConnectMessage);
    return;
  }
  set_status(p, kCoolingStartedMessage);
  if (!camera_exchange(p, "F 99")) return;
  const CoolingSetPoint s = cooling_set_point(p.form.Text3);
  p.form.Text3 = s.field;
  (void)camera_exchange(p, s.command);
}

void camera_menu_cool_stop_Click(Program& p) {
  if (p.link.camera_connected == 0) {
    set_status(p, kPleaseConnectMessage);
    return;
  }
  set_status(p, kCoolingStoppedMessage);
  p.form.Text3 = kNoSetTemperature;
  (void)camera_exchange(p, "C 751");
  p.ui.yield();
}

void Timer1_Timer(Program& p) {
  const LocalDateTime now = p.clock.local_now();
  std::string line = date_text(now) + " " + time_text(now);
  if (p.series.frames_remaining > 0) {
    line += " 残り" + decimal_text(p.series.frames_remaining) + "枚";
  }
  p.form.Text1 = line;

  if (p.link.camera_connected == 1 && !p.link.unit_silent && p.ports.set) {
    // The unit reports tenths of a degree as signed decimal text ("-100").
    if (camera_exchange(p, "T")) p.form.Text4 = decimal_text(numeric_value(p.link.reply_text) / 10.0);
  }
}

}  // namespace stellacq
