// The camera menu's connection and cooling commands and the main window's
// periodic tick (date-and-time line, remaining frames, CCD temperature).
//
// Reads and writes Program::link (camera_connected, command_text,
// reply_text, unit_silent), the fields Text1, Text3 and Text4 of Program::form,
// the status line, series.frames_remaining (read only) and settings.head_model.
#pragma once

#include <string>

#include "camera/camera.h"

namespace stellacq {

class Program;

inline constexpr const char* kAssumedConnectedMessage = " ＴＸ－１１接続済みとしました";
inline constexpr const char* kPleaseConnectMessage = " ＴＸ－１１の接続をして下さい";
inline constexpr const char* kCoolingStartedMessage = " 冷却開始しました  設定温度にします";
inline constexpr const char* kCoolingStoppedMessage = " 冷却停止しました";
inline constexpr const char* kNoSetTemperature = " --.-";

// New connection: reset pulse, the unit's greeting on the status line, camera
// connected, sensor size sent. Clears unit_silent. Without a chosen parallel
// port it only says so; a unit that sends no greeting leaves the camera not
// connected.
void camera_menu_link_Click(Program& p);

// Already connected: camera connected and sensor size sent, without a reset.
// Clears unit_silent.
void camera_menu_link_sumi_Click(Program& p);

// Cooling start: "F 99", then the set point of Text3 rounded to tenths
// (halves up) as "C -100" / "C +50"; Text3 is rewritten with the rounded value.
void camera_menu_cool_Click(Program& p);

// Cooling stop: "C 751"; Text3 shows " --.-".
void camera_menu_cool_stop_Click(Program& p);

// The 300 ms tick: date-and-time line with " 残り N枚" while a counted series
// has frames left, and the CCD temperature while connected. It does not talk
// to a unit marked silent.
void Timer1_Timer(Program& p);

// Set point of the cooling command from the set-temperature text: the
// rounded field text and the tenths of a degree ("-10.06" -> "-10.1", -101).
struct CoolingSetPoint {
  std::string field;
  int tenths = 0;
};
CoolingSetPoint cooling_set_point(const std::string& set_temperature_text);

}  // namespace stellacq
