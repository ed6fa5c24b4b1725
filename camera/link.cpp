// Register handshakes and the four primitives of the camera dialogue.
#include "camera/link.h"

#include <cstdio>

#include "core/numeric.h"
#include "core/wire_log.h"

namespace stellacq {

namespace {

// How a handshake wait ended.
enum class Wait { Seen, TimedOut, Cancelled };

// Polls the handshake line until it reads `want_high`, giving up once
// `limit_us` has passed on the clock without it. The clock is read only
// every kPollsPerClockRead polls; a unit that answers within the first batch
// costs no clock read at all. A long wait tells its progress there too, and
// asks whether the caller has cancelled. A port that may rest polls only
// once per rest after the first batch.
Wait wait_status(CameraPort& port, bool want_high, std::int64_t limit_us) {
  PortIo& io = port.io;
  const std::uint16_t status = port.ports.port_status;
  std::int64_t start = -1;
  std::int64_t told = 0;
  int polls = kPollsPerClockRead;
  for (;;) {
    for (int i = 0; i < polls; ++i) {
      if (((io.PortIn(status) & kStatusHandshake) != 0) == want_high) return Wait::Seen;
    }
    if (port.cancelled && port.cancelled()) return Wait::Cancelled;
    const std::int64_t now = port.clock.monotonic_us();
    if (start < 0) {
      start = told = now;
    } else if (now - start >= limit_us) {
      return Wait::TimedOut;
    } else if (port.on_wait && now - told >= kProgressIntervalUs) {
      told = now;
      port.on_wait(now - start);
    }
    if (port.rest_us > 0) {
      port.clock.sleep_us(port.rest_us);
      polls = 1;
    }
  }
}

// Ends a failed exchange: the control register back to idle.
LinkResult fail(CameraPort& port, LinkResult result) {
  port.io.PortOut(port.ports.port_control, kControlIdle);
  return result;
}

void log_camera(WireDirection direction, std::string_view bytes) {
  wire_log(WireDevice::Camera, direction, bytes);
}

// The wire log's word for a primitive that gave up.
const char* failure_text(LinkResult result) {
  switch (result) {
    case LinkResult::SendTimeout:
      return "no handshake for a command byte (send timed out)";
    case LinkResult::ReplyTimeout:
      return "no reply byte in time (reply timed out)";
    case LinkResult::ReplyOverlong:
      return "reply too long without its end";
    case LinkResult::ByteTimeout:
      return "no byte in time (read timed out)";
    case LinkResult::CountTimeout:
      return "no handshake for a block count byte (send timed out)";
    case LinkResult::SampleTimeout:
      return "no image sample in time (sample timed out)";
    case LinkResult::Cancelled:
      return "cancelled";
    default:
      return "failed";
  }
}

// A reply cut short: the bytes that came, then why it ended.
LinkResult logged_failure(CameraPort& port, LinkResult result, std::string_view received = {}) {
  if (wire_log_on()) {
    if (!received.empty()) log_camera(WireDirection::Received, received);
    log_camera(WireDirection::Event, failure_text(result));
  }
  return fail(port, result);
}

// The result of a primitive whose wait did not see the line change.
LinkResult logged_failure(CameraPort& port, Wait wait, LinkResult timeout, std::string_view received = {}) {
  return logged_failure(port, wait == Wait::Cancelled ? LinkResult::Cancelled : timeout, received);
}

// Write handshake of one byte.
Wait write_byte(CameraPort& port, std::uint8_t b) {
  PortIo& io = port.io;
  io.PortOut(port.ports.port_data, b);
  io.PortOut(port.ports.port_control, kControlStrobe);
  if (const Wait w = wait_status(port, false, kHandshakeLimitUs); w != Wait::Seen) return w;
  io.PortOut(port.ports.port_control, kControlIdle);
  return wait_status(port, true, kHandshakeLimitUs);
}

// One pass of the text-read handshake; the control register is left at
// kControlReceive. `limit_us` bounds the wait for the byte to appear.
Wait receive_text_byte(CameraPort& port, std::uint8_t& b, std::int64_t limit_us) {
  PortIo& io = port.io;
  if (const Wait w = wait_status(port, false, limit_us); w != Wait::Seen) return w;
  b = io.PortIn(port.ports.port_data);
  io.PortOut(port.ports.port_control, kControlTaken);
  if (const Wait w = wait_status(port, true, kHandshakeLimitUs); w != Wait::Seen) return w;
  io.PortOut(port.ports.port_control, kControlReceive);
  return Wait::Seen;
}

}  // namespace

void control_idle(CameraPort& port) {
  if (port.ports.set) port.io.PortOut(port.ports.port_control, kControlIdle);
}

LinkResult exchange_command(CameraPort& port, CameraLinkState& link, std::string_view command, ReplyMode mode,
                            std::int64_t limit_us) {
  link.command_text = command;
  const LinkResult sent = send_command(port, link);
  return sent != LinkResult::Ok ? sent : read_reply(port, link, mode, limit_us);
}

LinkResult send_command(CameraPort& port, CameraLinkState& link) {
  if (!port.ports.set) return LinkResult::NoPort;
  port.io.PortOut(port.ports.port_control, kControlIdle);
  link.command_text += '\r';
  log_camera(WireDirection::Sent, link.command_text);
  for (const char c : link.command_text) {
    if (const Wait w = write_byte(port, static_cast<std::uint8_t>(c)); w != Wait::Seen)
      return logged_failure(port, w, LinkResult::SendTimeout);
  }
  return LinkResult::Ok;
}

LinkResult read_reply(CameraPort& port, CameraLinkState& link, ReplyMode mode, std::int64_t limit_us) {
  if (!port.ports.set) return LinkResult::NoPort;
  std::string& reply = link.reply_text;
  reply.clear();
  port.io.PortOut(port.ports.port_control, kControlReceive);
  for (;;) {
    std::uint8_t b = 0;
    if (const Wait w = receive_text_byte(port, b, limit_us); w != Wait::Seen)
      return logged_failure(port, w, LinkResult::ReplyTimeout, reply);
    if (mode == ReplyMode::Framed && b == kFrameEnd) break;
    reply += static_cast<char>(b);
    if (mode == ReplyMode::Line && b == static_cast<std::uint8_t>(kLineEnd)) break;
    if (reply.size() >= kMaxReplyBytes) return logged_failure(port, LinkResult::ReplyOverlong, reply);
  }
  port.io.PortOut(port.ports.port_control, kControlIdle);
  // A framed reply is logged with the frame end it came with.
  if (wire_log_on()) log_camera(WireDirection::Received, mode == ReplyMode::Framed ? reply + '\xDB' : reply);
  return LinkResult::Ok;
}

LinkResult read_byte(CameraPort& port, CameraLinkState& link) {
  if (!port.ports.set) return LinkResult::NoPort;
  link.reply_text.clear();
  port.io.PortOut(port.ports.port_control, kControlReceive);
  std::uint8_t b = 0;
  if (const Wait w = receive_text_byte(port, b, kHandshakeLimitUs); w != Wait::Seen)
    return logged_failure(port, w, LinkResult::ByteTimeout);
  link.reply_text += static_cast<char>(b);
  log_camera(WireDirection::Received, link.reply_text);
  port.io.PortOut(port.ports.port_control, kControlIdle);
  return LinkResult::Ok;
}

LinkResult send_count(CameraPort& port, const CameraLinkState& link) {
  if (!port.ports.set) return LinkResult::NoPort;
  port.io.PortOut(port.ports.port_control, kControlIdle);
  if (wire_log_on()) {
    // Two binary bytes, low first: shown as the number they make, and as hex.
    char text[64];
    std::snprintf(text, sizeof text, "block count %d (%02X %02X)", link.count_high << 8 | link.count_low,
                  link.count_low, link.count_high);
    log_camera(WireDirection::Event, text);
  }
  Wait w = write_byte(port, link.count_low);
  if (w == Wait::Seen) w = write_byte(port, link.count_high);
  if (w != Wait::Seen) return logged_failure(port, w, LinkResult::CountTimeout);
  return LinkResult::Ok;
}

LinkResult read_sample(CameraPort& port, std::int32_t& sample) {
  PortIo& io = port.io;
  const PortAddresses& a = port.ports;
  io.PortOut(a.port_control, kControlReceive);
  if (const Wait w = wait_status(port, false, kHandshakeLimitUs); w != Wait::Seen)
    return logged_failure(port, w, LinkResult::SampleTimeout);
  const std::uint8_t low = io.PortIn(a.port_data);
  io.PortOut(a.port_control, kControlTaken);
  if (const Wait w = wait_status(port, true, kHandshakeLimitUs); w != Wait::Seen)
    return logged_failure(port, w, LinkResult::SampleTimeout);
  const std::uint8_t high = io.PortIn(a.port_data);
  sample = decode_sample(low, high);
  return LinkResult::Ok;
}

TwoNumbers parse_two_numbers(std::string_view reply) {
  const std::size_t blank = reply.find(' ');
  if (blank == std::string_view::npos) return {numeric_value(reply), 0};
  return {numeric_value(reply.substr(0, blank)), numeric_value(reply.substr(blank + 1))};
}

}  // namespace stellacq
