#include "exposure/single.h"

#include <algorithm>

#include "camera/download.h"
#include "camera/operations.h"
#include "core/numeric.h"
#include "fits/header_builder.h"
#include "image/commands.h"
#include "program/program.h"

namespace stellacq {

namespace {

bool expose(Program& p, const char* command) {
  set_status(p, kExposingMessage);
  // The window shows the time left while the unit exposes.
  CameraPort port = camera_port(p);
  const auto total_ms = static_cast<std::int64_t>(std::clamp(p.exposure.seconds_sent, 0.0, 1e9) * 1000);
  port.on_wait = [&p, total_ms](std::int64_t waited_us) {
    p.ui.exchange_progress({ExchangeKind::Exposure, waited_us / 1000, total_ms});
  };
  const LinkResult result = exchange_command(port, p.link, command, ReplyMode::Framed,
                                             exposure_reply_limit_us(p.exposure.seconds_sent));
  p.ui.exchange_ended();
  return link_ok(p, result);
}

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
  if (!set_exposure_time(p) || !set_binning(p)) return;
  set_status(p, kShootingMessage);
  p.ui.yield();

  // The header is built immediately before the exposure command, so that its
  // date and time are those of the start of the exposure.
  if (kind == FrameKind::Light) {
    make_light_header(p);
    if (!expose_light(p) || !download_light(p)) return;
  } else {
    make_dark_header(p);
    if (!expose_dark(p) || !download_dark(p)) return;
  }
  set_status(p, kShootingDoneMessage);
  p.ui.yield();

  if (p.exposure.display_after_shooting == 1) {
    if (kind == FrameKind::Light)
      image_menu_display_auto_Click(p);
    else
      image_menu_display_dark_Click(p);
  }
}

}  // namespace

bool set_exposure_time(Program& p) {
  // The unit reads the whole seconds of the field as sent.
  const double seconds = numeric_value(p.form.Text5);
  if (!camera_exchange(p, "S" + p.form.Text5 + "000")) return false;
  p.exposure.seconds_sent = seconds;
  return true;
}

bool set_binning(Program& p) { return camera_exchange(p, p.frames.binning == 1 ? "N 1 1" : "N 2 2"); }

bool expose_light(Program& p) { return expose(p, "V"); }
bool expose_dark(Program& p) { return expose(p, "D"); }

void exp_menu_one_Click(Program& p) { take_frame(p, FrameKind::Light); }
void exp_menu_dark_Click(Program& p) { take_frame(p, FrameKind::Dark); }

void Check1_Click(Program& p) { p.exposure.display_after_shooting = p.form.Check1 ? 1 : 0; }

}  // namespace stellacq
