#include "exposure/single.h"

#include "camera/download.h"
#include "camera/operations.h"
#include "core/numeric.h"
#include "fits/header_builder.h"
#include "image/commands.h"
#include "program/parts.h"
#include "program/program.h"

namespace stellacq {

namespace {

// The steps shared by the light and the dark command.
void take_frame(Program& p, FrameKind kind) {
  if (p.link.camera_connected == 0) {
    set_status(p, kConnectCameraMessage);
    return;
  }
  const double t = numeric_value(p.form.Text5);
  if (t < 1) {
    set_status(p, kShutterTooShortMessage);
    return;
  }
  p.form.Text5 = decimal_text(int_floor(t));
  if (!send_time_and_binning(camera_of(p), p.exposure, numeric_value(p.form.Text5), p.frames.binning,
                             status_line(p)))
    return;
  set_status(p, kShootingMessage);
  p.ui.yield();

  // The header is built immediately before the exposure command, so that its
  // date and time are those of the start of the exposure; the frame keeps
  // the size it had then, whatever is loaded while the unit exposes.
  const bool light = kind == FrameKind::Light;
  if (light)
    make_light_header(p.headers, record_start(p, p.frames.light));
  else
    make_dark_header(p.headers, record_start(p, p.frames.dark));
  const Frames& f = p.frames;
  const FrameShape shape =
      light ? FrameShape{f.light.width, f.light.height} : FrameShape{f.dark.width, f.dark.height};
  // The frame can be aborted from its exposure command to the end of its
  // download; an aborted one is dropped, neither shown nor kept.
  FrameAbort& abort = p.exposure.abort;
  abort.reset();
  if (!expose_frame(camera_of(p), status_line(p), kind, &abort) ||
      !download_frame(camera_of(p), p.frames, status_line(p), kind, shape, &abort))
    return;
  set_status(p, kShootingDoneMessage);
  p.ui.yield();

  if (p.exposure.display_after_shooting == 1) {
    if (light)
      image_menu_display_auto_Click(p);
    else
      image_menu_display_dark_Click(p);
  }
}

}  // namespace

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

void exp_menu_one_Click(Program& p) { take_frame(p, FrameKind::Light); }
void exp_menu_dark_Click(Program& p) { take_frame(p, FrameKind::Dark); }

void Check1_Click(Program& p) { p.exposure.display_after_shooting = p.form.Check1 ? 1 : 0; }

}  // namespace stellacq
