#include "camera/download.h"

#include "camera/operations.h"
#include "image/auto_level.h"
#include "program/program.h"

namespace stellacq {

std::string short_frame_text(long long announced_samples, long long expected_samples) {
  return " 画像サイズの応答が不正です（カメラの知らせた画素数 " + std::to_string(announced_samples) +
         "、この画像に必要な画素数 " + std::to_string(expected_samples) + "）。画像は受信していません";
}

std::optional<FrameInfo> download_frame(Program& p, FrameKind kind, FrameShape shape) {
  set_status(p, kDownloadingMessage);
  p.ui.yield();

  Frames& f = p.frames;
  const bool light = kind == FrameKind::Light;
  const CancelToken never;  // the window offers no cancel
  const FrameResult r = camera_of(p).download(
      light ? f.light_frame : f.dark_frame, shape.width, shape.height,
      [&p](const CameraProgress& c) {
        p.ui.exchange_progress({ExchangeKind::Download, c.done, c.total});
      },
      never);
  p.ui.exchange_ended();
  if (r.streamed) {
    f.scan_max = r.info.max;
    f.scan_min = r.info.min;
  }
  if (!camera_ok(p, r.status)) return std::nullopt;

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

  set_status(p, kDownloadDoneMessage);
  p.ui.yield();
  return r.info;
}

}  // namespace stellacq
