// Block-by-block transfer of a frame from the control unit.
#include "camera/transfer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "camera/geometry.h"
#include "core/wire_log.h"

namespace stellacq {

namespace {

// Waits through whatever the unit sends after a block count until its "K".
TransferResult wait_for_ack(CameraPort& port, CameraLinkState& link) {
  TransferResult r;
  for (int i = 0; i <= kMaxBytesBeforeAck; ++i) {
    r.link = read_byte(port, link);
    if (r.link != LinkResult::Ok) {
      r.end = TransferEnd::LinkFailed;
      return r;
    }
    if (link.reply_text == "K") return r;
  }
  control_idle(port);
  r.end = TransferEnd::NoBlockAck;
  return r;
}

void log_download(const std::string& text) { wire_log(WireDevice::Camera, WireDirection::Event, text); }

TransferResult link_failed(LinkResult link) {
  TransferResult r;
  r.end = TransferEnd::LinkFailed;
  r.link = link;
  return r;
}

// The number of samples the unit announces in its reply to "U".
long long announced_samples(const std::string& reply) {
  const TwoNumbers size = parse_two_numbers(reply);
  // The product is the number of samples the unit will send; a garbled
  // reply counts as nothing (negative) or as a bounded amount (absurd).
  const double product = std::clamp(size.first * size.second, 0.0, 1e12);
  return std::isnan(product) ? 0 : static_cast<long long>(product);
}

// The closing count of zero and the unit's framed reply to it.
LinkResult close_download(CameraPort& port, CameraLinkState& link) {
  link.count_low = 0;
  link.count_high = 0;
  LinkResult result = send_count(port, link);
  if (result == LinkResult::Ok) result = read_reply(port, link, ReplyMode::Framed);
  return result;
}

// Asks for the announced samples block by block and stores them row by row
// into `frame`, `wire_width` samples a row on the wire of which the first
// `shape.width` are kept. Stops early once every row is in, or on a failure or a
// cancel, which it records in `r`; returns the number of samples read.
long long stream_samples(CameraPort& port, CameraLinkState& link, FrameBuffer& frame, FrameShape shape,
                         int wire_width, long long remaining, TransferResult& r) {
  const int width = shape.width, height = shape.height;
  int x = 0;
  int y = 0;
  std::int32_t* row = frame.row(0);
  // The running extremes live in locals while the samples stream in.
  std::int32_t scan_max = r.scan_max;
  std::int32_t scan_min = r.scan_min;
  long long samples_read = 0;
  while (remaining > 0 && r.end == TransferEnd::Complete) {
    const int block = static_cast<int>(std::min<long long>(remaining, kBlockSamples));
    remaining -= block;
    link.count_low = static_cast<std::uint8_t>(block & 0xFF);
    link.count_high = static_cast<std::uint8_t>((block & 0x7F00) >> 8);
    if (LinkResult l = send_count(port, link); l != LinkResult::Ok) {
      r.end = TransferEnd::LinkFailed;
      r.link = l;
      break;
    }
    if (const TransferResult ack = wait_for_ack(port, link); ack.end != TransferEnd::Complete) {
      r.end = ack.end;
      r.link = ack.link;
      break;
    }
    int i = 0;
    for (; i < block; ++i) {
      if (i % kSamplesPerCancelCheck == 0 && port.cancelled && port.cancelled()) {
        control_idle(port);
        r.end = TransferEnd::LinkFailed;
        r.link = LinkResult::Cancelled;
        break;
      }
      std::int32_t sample;
      if (LinkResult l = read_sample(port, sample); l != LinkResult::Ok) {
        r.end = TransferEnd::LinkFailed;
        r.link = l;
        break;
      }
      // Samples past the buffer's last row (a unit sending more than the
      // frame holds) are read and dropped.
      if (x < width && y < kFrameRows) {
        row[x] = sample;
        if (scan_max < sample) scan_max = sample;
        if (scan_min > sample) scan_min = sample;
      }
      if (++x == wire_width) {
        x = 0;
        ++y;
        row = frame.row(std::min(y, kFrameRows - 1));
      }
    }
    samples_read += i;
    if (port.on_block)
      port.on_block(std::min(static_cast<long long>(y) * wire_width + x, r.expected_samples),
                    r.expected_samples);
    if (y >= height) break;  // every row is in, whatever the unit announced
  }
  r.scan_max = scan_max;
  r.scan_min = scan_min;
  return samples_read;
}

void log_download_end(const TransferResult& r, long long samples_read) {
  const std::string read = std::to_string(samples_read) + " of " + std::to_string(r.announced_samples);
  if (r.end == TransferEnd::Complete)
    log_download("download: " + read + " samples read");
  else if (r.link == LinkResult::Cancelled)
    log_download("download cancelled after " + read + " samples");
  else
    log_download("download stopped after " + read + " samples");
}

}  // namespace

TransferResult transfer_frame(CameraPort& port, CameraLinkState& link, Frame& into, FrameShape shape,
                              bool doubled_rows) {
  const int width = shape.width, height = shape.height;
  if (width < 1 || width > kFrameColumns || height < 1 || height > kFrameRows) {
    TransferResult r;
    r.end = TransferEnd::BadFrameSize;
    return r;
  }
  if (LinkResult l = exchange_command(port, link, "X"); l != LinkResult::Ok) return link_failed(l);
  if (LinkResult l = exchange_command(port, link, "U", ReplyMode::Line); l != LinkResult::Ok)
    return link_failed(l);
  const long long remaining = announced_samples(link.reply_text);

  const int wire_width = doubled_rows ? 2 * width : width;
  TransferResult r;
  r.announced_samples = remaining;
  r.expected_samples = static_cast<long long>(wire_width) * height;
  if (wire_log_on())
    log_download("download: the unit announces " + std::to_string(remaining) + " samples, the frame takes " +
                 std::to_string(r.expected_samples));
  if (remaining < r.expected_samples) {
    // Too little to fill the frame: the closing count puts the unit back in
    // step, and the frame is left as it was rather than passed off as new.
    if (wire_log_on()) log_download("download refused: too few samples for the frame");
    r.link = close_download(port, link);
    r.end = r.link == LinkResult::Ok ? TransferEnd::ShortFrame : TransferEnd::LinkFailed;
    return r;
  }
  r.streamed = true;
  const long long samples_read = stream_samples(port, link, into.counts, shape, wire_width, remaining, r);
  if (wire_log_on()) log_download_end(r, samples_read);
  if (r.end != TransferEnd::Complete) return r;

  r.link = close_download(port, link);
  if (r.link != LinkResult::Ok) r.end = TransferEnd::LinkFailed;
  return r;
}

}  // namespace stellacq
