#include "camera/download.h"

#include "camera/operations.h"
#include "image/auto_level.h"

namespace stellacq {

std::string short_frame_text(long long announced_samples, long long expected_samples) {
  return " 画像サイズの応答が不正です（カメラの知らせた画素数 " + std::to_string(announced_samples) +
         "、この画像に必要な画素数 " + std::to_string(expected_samples) + "）。画像は受信していません";
}

bool frame_step_ok(const StatusLine& status, const CameraStatus& result, FrameAbort* abort) {
  if (abort && result.error == CameraError::Cancelled) {
    abort->dropped = true;
    status.show(kShootingAbortedMessage);
    return false;
  }
  return camera_ok(status, result);
}

std::optional<FrameInfo> download_frame(Camera& camera, Frames& f, const StatusLine& status, FrameKind kind,
                                        FrameShape shape, FrameAbort* abort) {
  Interaction& ui = status.ui;
  status.show(kDownloadingMessage);
  ui.yield();

  const bool light = kind == FrameKind::Light;
  const CancelToken never;  // for a caller that offers no abort
  const FrameResult r = camera.download(
      light ? f.light_frame : f.dark_frame, shape.width, shape.height,
      [&ui](const CameraProgress& c) {
        ui.exchange_progress({ExchangeKind::Download, c.done, c.total});
      },
      abort ? abort->token : never);
  ui.exchange_ended();
  if (r.streamed) {
    f.scan_max = r.info.max;
    f.scan_min = r.info.min;
  }
  if (!frame_step_ok(status, r.status, abort)) return std::nullopt;

  if (light) {
    f.image_width = r.info.width;
    f.image_height = r.info.height;
    f.light_max = r.info.max;
    f.light_min = r.info.min;
    f.display_source = DisplaySource::Light;
  } else {
    f.dark_width = r.info.width;
    f.dark_height = r.info.height;
    f.dark_max = r.info.max;
    f.dark_min = r.info.min;
    f.display_source = DisplaySource::Dark;
  }
  auto_level(f);

  status.show(kDownloadDoneMessage);
  ui.yield();
  return r.info;
}

}  // namespace stellacq
