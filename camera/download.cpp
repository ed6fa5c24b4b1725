#include "camera/download.h"

#include "camera/operations.h"
#include "camera/transfer.h"
#include "image/auto_level.h"
#include "program/program.h"

namespace stellacq {

namespace {

struct Target {
  FrameBuffer& frame;
  int width;
  int height;
  std::int32_t& max;
  std::int32_t& min;
  DisplaySource source;
};

bool download(Program& p, Target t) {
  set_status(p, kDownloadingMessage);
  p.ui.yield();

  // A TX-11 head on a TU-22 unit sends each row twice as long as the frame.
  const bool doubled_rows = p.settings.head_model == 4 && p.settings.unit_model != 4;
  CameraPort port = camera_port(p);
  port.on_block = [&p](long long done, long long needed) {
    p.ui.exchange_progress({ExchangeKind::Download, done, needed});
  };
  const TransferResult r = transfer_frame(port, p.link, t.frame, t.width, t.height, doubled_rows);
  p.ui.exchange_ended();
  Frames& f = p.frames;
  if (r.streamed) {
    f.scan_max = r.scan_max;
    f.scan_min = r.scan_min;
  }
  switch (r.end) {
    case TransferEnd::BadFrameSize:
      set_status(p, kBadFrameSizeMessage);
      return false;
    case TransferEnd::NoBlockAck:
      set_status(p, kNoBlockAckMessage);
      return false;
    case TransferEnd::ShortFrame:
      set_status(p, short_frame_text(r.announced_samples, r.expected_samples));
      return false;
    case TransferEnd::LinkFailed:
      return link_ok(p, r.link);
    case TransferEnd::Complete:
      break;
  }

  t.max = f.scan_max;
  t.min = f.scan_min;
  f.display_source = t.source;
  auto_level(f);

  set_status(p, kDownloadDoneMessage);
  p.ui.yield();
  return true;
}

}  // namespace

std::string short_frame_text(long long announced_samples, long long expected_samples) {
  return " 画像サイズの応答が不正です（カメラの知らせた画素数 " + std::to_string(announced_samples) +
         "、この画像に必要な画素数 " + std::to_string(expected_samples) + "）。画像は受信していません";
}

bool download_light(Program& p) {
  Frames& f = p.frames;
  return download(
      p, {f.light_frame, f.image_width, f.image_height, f.light_max, f.light_min, DisplaySource::Light});
}

bool download_dark(Program& p) {
  Frames& f = p.frames;
  return download(p,
                  {f.dark_frame, f.dark_width, f.dark_height, f.dark_max, f.dark_min, DisplaySource::Dark});
}

}  // namespace stellacq
