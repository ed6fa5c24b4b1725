#include "exposure/single.h"

#include "camera/failure_text.h"
#include "camera/geometry.h"
#include "core/numeric.h"
#include "exposure/download.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "image/frame_display.h"

namespace stellacq {

Camera& Shooting::camera() {
  camera_.set_models(settings_.head_model, settings_.unit_model);
  return camera_;
}

Frame& Shooting::record_start(Frame& frame) {
  frame.head_model = settings_.head_model;
  frame.unit_model = settings_.unit_model;
  frame.binning = display_.state().frames.binning;
  frame.start = clock_.local_now();
  frame.seconds = fields_.shutter_seconds();
  ui_.yield();
  frame.ccd_temp_c = camera_.last_temperature();
  return frame;
}

// The steps shared by the light and the dark command.
void Shooting::take_frame(FrameKind kind) {
  if (!camera_connected()) {
    status_.show(kConnectCameraMessage);
    return;
  }
  const double t = fields_.shutter_seconds();
  if (t < 1) {
    status_.show(kShutterTooShortMessage);
    return;
  }
  fields_.set_whole_shutter_seconds(int_floor(t));
  Frames& frames = display_.state().frames;
  if (!send_time_and_binning(camera(), exposure_, fields_.shutter_seconds(), frames.binning, status_)) return;
  status_.show(kShootingMessage);
  ui_.yield();

  // The header is built immediately before the exposure command, so that its
  // date and time are those of the start of the exposure; the frame keeps
  // the size it had then, whatever is loaded while the unit exposes.
  const bool light = kind == FrameKind::Light;
  if (light)
    make_light_header(headers_, record_start(frames.light));
  else
    make_dark_header(headers_, record_start(frames.dark));
  const Frames& f = frames;
  const FrameShape shape =
      light ? FrameShape{f.light.width, f.light.height} : FrameShape{f.dark.width, f.dark.height};
  // The frame can be aborted from its exposure command to the end of its
  // download; an aborted one is dropped, neither shown nor kept.
  FrameAbort& abort = exposure_.abort;
  abort.reset();
  if (!expose_frame(camera(), status_, kind, &abort) ||
      !download_frame(camera(), frames, status_, kind, shape, &abort))
    return;
  status_.show(kShootingDoneMessage);
  ui_.yield();

  if (exposure_.display_after_shooting == 1) {
    if (light)
      display_.image_menu_display_auto_Click();
    else
      display_.image_menu_display_dark_Click();
  }
}

bool send_time_and_binning(Camera& camera, ExposureState& exposure, double seconds, int binning,
                           const StatusLine& status) {
  // The unit reads the whole seconds of the field as sent.
  if (!camera_ok(status, camera.set_exposure_time(clamp_to_int32(seconds)))) return false;
  exposure.seconds_sent = seconds;
  return camera_ok(status, camera.set_binning(binning));
}

bool expose_frame(Camera& camera, const StatusLine& status, FrameKind kind, FrameAbort* abort) {
  status.show(kExposingMessage);
  // The window shows the time left while the unit exposes.
  Interaction& ui = status.ui;
  const CancelToken never;  // for a caller that offers no abort
  const CameraStatus s = camera.expose(
      kind,
      [&ui](const CameraProgress& c) {
        ui.exchange_progress({ExchangeKind::Exposure, c.done, c.total});
      },
      abort ? abort->token : never);
  ui.exchange_ended();
  return frame_step_ok(status, s, abort);
}

void Shooting::exp_menu_one_Click() { take_frame(FrameKind::Light); }
void Shooting::exp_menu_dark_Click() { take_frame(FrameKind::Dark); }

void Shooting::Check1_Click(bool checked) { exposure_.display_after_shooting = checked ? 1 : 0; }

}  // namespace stellacq
