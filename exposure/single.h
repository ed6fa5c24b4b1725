// Single light and dark exposures, and the two exposure steps on the camera
// service that the series reuse.
//
// The control unit times the exposure: the camera sends the time in
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

// The exposure steps the series share. "S" + the shutter-speed field +
// "000": the exposure time in milliseconds (the field holds whole seconds
// with a leading blank, so 30 s sends "S 30000"), kept in
// ExposureState::seconds_sent; then "N 1 1" for binning 1, "N 2 2"
// otherwise. False when the unit failed (told on the status line).
[[nodiscard]] bool send_time_and_binning(Program& p);
// "V" (light) or "D" (dark), with " 露出中" on the status line and the time
// left told while the unit exposes: the reply arrives when the exposure has
// ended, and the wait for it is bounded by the time last sent plus a margin.
[[nodiscard]] bool expose_frame(Program& p, FrameKind kind);

}  // namespace stellacq
