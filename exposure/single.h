// Single light and dark exposures, and the four exchanges that prepare and
// run an exposure, which the series reuse.
//
// The control unit times the exposure: the program sends the time in
// milliseconds, then the exposure command, and waits for the unit's reply,
// which arrives when the exposure has ended. Reads and rewrites the
// shutter-speed field (Form1 Text5), writes the status line, and fills the
// light or dark frame through the download.
#pragma once

#include <cstdint>

#include "camera/camera.h"

namespace stellacq {

class Program;

// Status-line texts.
inline constexpr const char* kConnectCameraMessage = " ＴＸ－１１の接続をして下さい";
inline constexpr const char* kShutterTooShortMessage = " シャッター時間は1sec以上";
inline constexpr const char* kShootingMessage = " 撮影しています";
inline constexpr const char* kExposingMessage = " 露出中";
inline constexpr const char* kShootingDoneMessage = " 撮影終了しました";

void exp_menu_one_Click(Program& p);
void exp_menu_dark_Click(Program& p);
// Display after shooting follows the check box Check1.
void Check1_Click(Program& p);

// "S" + the shutter-speed field + "000": the exposure time in milliseconds
// (the field holds whole seconds with a leading blank, so 30 s sends "S 30000").
[[nodiscard]] bool set_exposure_time(Program& p);
// "N 1 1" for binning 1, "N 2 2" otherwise.
[[nodiscard]] bool set_binning(Program& p);
// "S" also keeps the seconds sent in ExposureState::seconds_sent.
// "V" / "D": the reply arrives when the exposure has ended. The wait for it
// is bounded by the exposure time last sent with "S" plus a margin.
[[nodiscard]] bool expose_light(Program& p);
[[nodiscard]] bool expose_dark(Program& p);

}  // namespace stellacq
