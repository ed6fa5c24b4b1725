#include "camera/download.h"

#include "camera/operations.h"
#include "image/auto_level.h"

namespace stellacq {

std::string short_frame_text(long long announced_samples, long long expected_samples) {
  return " 画像サイズの応答が不正です（カメラの知らせた画素数 " + std::to_string(announced_samples) +
         "、この画像に必要な画素数 " + std::to_string(expected_samples) + "）。画像は受信していません";
}

std::optional<FrameInfo> download_frame(Camera& camera, Frames& f, const StatusLine& status, FrameKind kind,
                                        FrameShape shape) {
  Interaction& ui = status.ui;
  status.show(kDownloadingMessage);
  ui.yield();

  const bool light = kind == FrameKind::Light;
  const CancelToken never;  // the window offers no cancel
  const FrameResult r = camera.download(
      light ? f.light_frame : f.dark_frame, shape.width, shape.height,
      [&ui](const CameraProgress& c) {
        ui.exchange_progress({ExchangeKind::Download, c.done, c.total});
      },
      never);
  ui.exchange_ended();
  if (r.streamed) {
    f.scan_max = r.info.max;
    f.scan_min = r.info.min;
  }
  if (!camera_ok(status, r.status)) return std::nullopt;

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
