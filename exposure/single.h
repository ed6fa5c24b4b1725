// Single light and dark exposures, and the two exposure steps on the camera
// service that the series reuse.
//
// The control unit times the exposure: the camera sends the time in
// milliseconds, then the exposure command, and waits for the unit's reply,
// which arrives when the exposure has ended. Shooting owns the exposure
// state; its handlers read and rewrite the shutter-speed field (Form1 Text5)
// through ShotFields, write the status line, fill the light or dark frame
// through the download and build its header; the two steps take the camera,
// the values and the status line.
#pragma once

#include <cstdint>

#include "camera/camera.h"
#include "camera/link_state.h"
#include "config/settings.h"
#include "core/clock.h"
#include "core/status_line.h"
#include "exposure/download.h"
#include "exposure/exposure_state.h"
#include "exposure/shot_fields.h"
#include "fits/header_builder.h"
#include "fits/header_tables.h"
#include "image/frame_display.h"

namespace stellacq {

// Status-line texts.
inline constexpr const char* kConnectCameraMessage = " ＴＸ－１１の接続をして下さい";
inline constexpr const char* kShutterTooShortMessage = " シャッター時間は1sec以上";
inline constexpr const char* kShootingMessage = " 撮影しています";
inline constexpr const char* kExposingMessage = " 露出中";
inline constexpr const char* kShootingDoneMessage = " 撮影終了しました";

class Shooting {
 public:
  Shooting(Camera& camera, const Settings& settings, FrameDisplay& display, HeaderTables& headers,
           Clock& clock, StatusLine status, ShotFields& fields)
      : camera_(camera),
        settings_(settings),
        display_(display),
        headers_(headers),
        clock_(clock),
        ui_(status.ui),
        status_(status),
        fields_(fields) {}
  Shooting(const Shooting&) = delete;
  Shooting& operator=(const Shooting&) = delete;

  ExposureState& state() { return exposure_; }
  const ExposureState& state() const { return exposure_; }

  void exp_menu_one_Click();
  void exp_menu_dark_Click();
  // Display after shooting follows the check box Check1.
  void Check1_Click(bool checked);

  // The camera, told the head and the unit of the settings as they are now.
  Camera& camera();
  bool camera_connected() const { return camera_.link().camera_connected != 0; }
  // What `frame` records of the exposure that starts now, read before its
  // header is built: the head, the binning, the clock and the shutter-speed
  // field; then pending window events run once (the periodic tick may read
  // the temperature) and the last temperature reading is taken, the one the
  // window shows.
  Frame& record_start(Frame& frame);

 private:
  void take_frame(FrameKind kind);

  Camera& camera_;
  const Settings& settings_;
  FrameDisplay& display_;
  HeaderTables& headers_;
  Clock& clock_;
  Interaction& ui_;
  StatusLine status_;
  ShotFields& fields_;
  ExposureState exposure_;
};

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
