#include "exposure/download.h"

#include "camera/failure_text.h"
#include "camera/geometry.h"
#include "image/auto_level.h"

namespace stellacq {

bool frame_step_ok(const StatusLine& status, const CameraStatus& result, FrameAbort* abort) {
  if (abort && result.error == CameraError::Cancelled) {
    abort->dropped = true;
    status.show(kShootingAbortedMessage);
    return false;
  }
  return camera_ok(status, result);
}

const Frame* download_frame(Camera& camera, Frames& f, const StatusLine& status, FrameKind kind,
                            FrameShape shape, FrameAbort* abort) {
  Interaction& ui = status.ui;
  status.show(kDownloadingMessage);
  ui.yield();

  const bool light = kind == FrameKind::Light;
  const CancelToken never;  // for a caller that offers no abort
  Frame& frame = light ? f.light : f.dark;
  const FrameResult r = camera.download(
      frame, shape,
      [&ui](const CameraProgress& c) {
        ui.exchange_progress({ExchangeKind::Download, c.done, c.total});
      },
      abort ? abort->token : never);
  ui.exchange_ended();
  if (r.streamed) {
    f.scan_max = r.scan_max;
    f.scan_min = r.scan_min;
  }
  if (!frame_step_ok(status, r.status, abort)) return nullptr;

  f.display_source = light ? DisplaySource::Light : DisplaySource::Dark;
  auto_level(f);

  status.show(kDownloadDoneMessage);
  ui.yield();
  return &frame;
}

}  // namespace stellacq
