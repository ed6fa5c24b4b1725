// Single light and dark exposures, and the two exposure steps on the camera
// service that the series reuse.
//
// The control unit times the exposure: the camera sends the time in
// milliseconds, then the exposure command, and waits for the unit's reply,
// which arrives when the exposure has ended. The handlers read and rewrite
// the shutter-speed field (Form1 Text5), write the status line, and fill the
// light or dark frame through the download; the two steps take the camera,
// the values and the status line.
#pragma once

#include <cstdint>

#include "camera/camera.h"
#include "camera/download.h"
#include "core/status_line.h"
#include "exposure/exposure_state.h"

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

// The exposure steps the series share. "S" + `seconds` (the whole seconds
// of the shutter-speed field) + "000": the exposure time in milliseconds
// (30 s sends "S 30000"), kept in ExposureState::seconds_sent; then "N 1 1"
// for binning 1, "N 2 2" otherwise. False when the unit failed (told on the
// status line).
[[nodiscard]] bool send_time_and_binning(Camera& camera, ExposureState& exposure, double seconds, int binning,
                                         const StatusLine& status);
// "V" (light) or "D" (dark), with " 露出中" on the status line and the time
// left told while the unit exposes: the reply arrives when the exposure has
// ended, and the wait for it is bounded by the time last sent plus a margin.
// An abort through `abort` ends the exposure early: the unit is made ready
// again and the frame is marked dropped.
[[nodiscard]] bool expose_frame(Camera& camera, const StatusLine& status, FrameKind kind,
                                FrameAbort* abort = nullptr);

}  // namespace stellacq
