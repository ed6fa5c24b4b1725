// The camera menu's connection and cooling commands and the main window's
// periodic tick (date-and-time line, remaining frames, CCD temperature).
//
// Reads and writes the camera's link state (camera_connected, command_text,
// reply_text, unit_silent), the main window's date line, set-temperature and
// temperature texts it is given, and the status line; reads the head and
// unit models of the settings and the frames remaining of a series.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "camera/camera.h"
#include "camera/messages.h"
#include "config/settings.h"
#include "core/clock.h"
#include "core/interaction.h"
#include "core/status_line.h"

namespace stellacq {

// The main window's texts that the connection writes.
struct ConnectionFields {
  std::string& date_line;        // Text1: date, time and frames remaining
  std::string& set_temperature;  // Text3: set CCD temperature, degrees C
  std::string& temperature;      // Text4: current CCD temperature, degrees C
};

class CameraConnection {
 public:
  // `frames_remaining` gives the frames a counted series has left (-1 or 0
  // when none).
  CameraConnection(Camera& camera, const Settings& settings, const PortAddresses& ports, Clock& clock,
                   Interaction& ui, StatusLine status, ConnectionFields fields,
                   std::function<int()> frames_remaining)
      : camera_(camera),
        settings_(settings),
        ports_(ports),
        clock_(clock),
        ui_(ui),
        status_(status),
        fields_(fields),
        frames_remaining_(std::move(frames_remaining)) {}
  CameraConnection(const CameraConnection&) = delete;
  CameraConnection& operator=(const CameraConnection&) = delete;

  // New connection: reset pulse, the unit's greeting on the status line,
  // camera connected, sensor size sent. Clears unit_silent. Without a chosen
  // parallel port it only says so; a unit that sends no greeting leaves the
  // camera not connected.
  void camera_menu_link_Click();

  // Already connected: camera connected and sensor size sent, without a
  // reset. Clears unit_silent.
  void camera_menu_link_sumi_Click();

  // Cooling start: "F 99", then `set_temperature` (the value of the
  // set-temperature field) rounded to tenths (halves up) as "C -100" /
  // "C +50"; the field is rewritten with the rounded value.
  void camera_menu_cool_Click(double set_temperature);

  // Cooling stop: "C 751"; the set-temperature field shows " --.-".
  void camera_menu_cool_stop_Click();

  // The 300 ms tick: date-and-time line with " 残り N枚" while a counted
  // series has frames left, and the CCD temperature while connected. It
  // does not talk to a unit marked silent.
  void Timer1_Timer();

 private:
  // The camera, told the head and the unit of the settings as they are now.
  Camera& camera();

  Camera& camera_;
  const Settings& settings_;
  const PortAddresses& ports_;
  Clock& clock_;
  Interaction& ui_;
  StatusLine status_;
  ConnectionFields fields_;
  std::function<int()> frames_remaining_;
};

// Set point of the cooling command from the set temperature: the rounded
// field text and the tenths of a degree (-10.06 -> "-10.1", -101).
struct CoolingSetPoint {
  std::string field;
  int tenths = 0;
};
CoolingSetPoint cooling_set_point(double set_temperature);

}  // namespace stellacq
