// Block-by-block transfer of a frame from the control unit.
#include "camera/download.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "camera/link.h"
#include "image/auto_level.h"

namespace stellacq {

namespace {

struct Target {
  FrameBuffer& frame;
  int width;
  int height;
  std::int32_t& max;
  std::int32_t& min;
  int source;
};

// Waits through whatever the unit sends after a block count until its "K".
bool wait_for_ack(Program& p) {
  for (int i = 0; i <= kMaxBytesBeforeAck; ++i) {
    if (!read_byte(p)) return false;
    if (p.link.reply_text == "K") return true;
  }
  control_idle(p);
  set_status(p, kNoBlockAckMessage);
  return false;
}

bool download(Program& p, Target t) {
  set_status(p, kDownloadingMessage);
  p.ui.yield();
  if (t.width < 1 || t.width > kFrameColumns || t.height < 1 || t.height > kFrameRows) {
    set_status(p, kBadFrameSizeMessage);
    return false;
  }

  if (!exchange_command(p, "X") || !exchange_command(p, "U", kReplyLine)) return false;
  const TwoNumbers size = parse_two_numbers(p.link.reply_text);
  // The product is the number of samples the unit will send; a garbled
  // reply counts as nothing (negative) or as a bounded amount (absurd).
  const double product = std::clamp(size.first * size.second, 0.0, 1e12);
  long long remaining = std::isnan(product) ? 0 : static_cast<long long>(product);

  // A TX-11 head on a TU-22 unit sends each row twice as long as the frame.
  const bool doubled_rows = p.settings.head_model == 4 && p.settings.unit_model != 4;
  const int wire_width = doubled_rows ? 2 * t.width : t.width;

  int x = 0;
  int y = 0;
  std::int32_t* row = t.frame.row(0);
  // The running extremes live in locals while the samples stream in.
  std::int32_t scan_max = -1;
  std::int32_t scan_min = std::numeric_limits<std::int32_t>::max();
  bool failed = false;
  while (remaining > 0 && !failed) {
    const int block = static_cast<int>(std::min<long long>(remaining, kBlockSamples));
    remaining -= block;
    p.link.count_low = static_cast<std::uint8_t>(block & 0xFF);
    p.link.count_high = static_cast<std::uint8_t>((block & 0x7F00) >> 8);
    if (!send_count(p) || !wait_for_ack(p)) {
      failed = true;
      break;
    }
    for (int i = 0; i < block; ++i) {
      std::int32_t sample;
      if (!read_sample(p, sample)) {
        failed = true;
        break;
      }
      // Samples past the buffer's last row (a unit sending more than the
      // frame holds) are read and dropped.
      if (x < t.width && y < kFrameRows) {
        row[x] = sample;
        if (scan_max < sample) scan_max = sample;
        if (scan_min > sample) scan_min = sample;
      }
      if (++x == wire_width) {
        x = 0;
        ++y;
        row = t.frame.row(std::min(y, kFrameRows - 1));
      }
    }
    if (y >= t.height) break;  // every row is in, whatever the unit announced
  }
  Frames& f = p.frames;
  f.scan_max = scan_max;
  f.scan_min = scan_min;
  if (failed) return false;

  p.link.count_low = 0;
  p.link.count_high = 0;
  if (!send_count(p) || !read_reply(p, kReplyFramed)) return false;

  t.max = f.scan_max;
  t.min = f.scan_min;
  f.display_source = t.source;
  auto_level(f);

  set_status(p, kDownloadDoneMessage);
  p.ui.yield();
  return true;
}

}  // namespace

bool download_light(Program& p) {
  Frames& f = p.frames;
  return download(p, {f.light_frame, f.image_width, f.image_height, f.light_max, f.light_min, kSourceLight});
}

bool download_dark(Program& p) {
  Frames& f = p.frames;
  return download(p, {f.dark_frame, f.dark_width, f.dark_height, f.dark_max, f.dark_min, kSourceDark});
}

}  // namespace stellacq
