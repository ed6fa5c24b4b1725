// Register handshakes and the four primitives of the camera dialogue.
// Reads and writes Program::ports, Program::link and the status line.
#include "camera/link.h"

#include "core/numeric.h"

namespace stellacq {

namespace {

// Polls the handshake line until it reads `want_high`, giving up once
// `limit_us` has passed on the program's clock without it. The clock is read
// only every kPollsPerClockRead polls; a unit that answers within the first
// batch costs no clock read at all.
bool wait_status(Program& p, bool want_high, std::int64_t limit_us) {
  PortIo& io = p.port;
  const std::uint16_t status = p.ports.port_status;
  std::int64_t start = -1;
  for (;;) {
    for (int i = 0; i < kPollsPerClockRead; ++i) {
      if (((io.PortIn(status) & kStatusHandshake) != 0) == want_high) return true;
    }
    const std::int64_t now = p.clock.monotonic_us();
    if (start < 0) {
      start = now;
    } else if (now - start >= limit_us) {
      return false;
    }
  }
}

// The command as the user would recognise it: command_text without the
// carriage return send_command appended.
std::string command_name(const Program& p) {
  std::string name = p.link.command_text;
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
  return name;
}

// Ends a failed exchange: control register idle, unit marked silent, the
// failure (`what`, ended by the hint to reconnect) on the status line.
bool fail(Program& p, const std::string& what) {
  p.port.PortOut(p.ports.port_control, kControlIdle);
  p.link.unit_silent = true;
  set_status(p, what + kSilentUnitHint);
  return false;
}

// A handshake that saw no answer in time, while doing `doing`.
bool give_up(Program& p, const std::string& doing) {
  return fail(p, " カメラが応答しません（" + doing + "）");
}

// Write handshake of one byte. False when the unit did not take it in time.
bool write_byte(Program& p, std::uint8_t b) {
  PortIo& io = p.port;
  io.PortOut(p.ports.port_data, b);
  io.PortOut(p.ports.port_control, kControlStrobe);
  if (!wait_status(p, false, kHandshakeLimitUs)) return false;
  io.PortOut(p.ports.port_control, kControlIdle);
  return wait_status(p, true, kHandshakeLimitUs);
}

// One pass of the text-read handshake; the control register is left at
// kControlReceive. `limit_us` bounds the wait for the byte to appear.
bool receive_text_byte(Program& p, std::uint8_t& b, std::int64_t limit_us) {
  PortIo& io = p.port;
  if (!wait_status(p, false, limit_us)) return false;
  b = io.PortIn(p.ports.port_data);
  io.PortOut(p.ports.port_control, kControlTaken);
  if (!wait_status(p, true, kHandshakeLimitUs)) return false;
  io.PortOut(p.ports.port_control, kControlReceive);
  return true;
}

std::string reply_name(const Program& p) {
  const std::string name = command_name(p);
  return name.empty() ? std::string("応答の受信中") : "「" + name + "」への応答待ち";
}

}  // namespace

void control_idle(Program& p) {
  if (p.ports.set) p.port.PortOut(p.ports.port_control, kControlIdle);
}

bool port_chosen(Program& p) {
  if (p.ports.set) return true;
  set_status(p, kChoosePortMessage);
  return false;
}

bool exchange_command(Program& p, std::string_view command, int mode, std::int64_t limit_us) {
  p.link.command_text = command;
  return send_command(p) && read_reply(p, mode, limit_us);
}

bool send_command(Program& p) {
  if (!port_chosen(p)) return false;
  p.port.PortOut(p.ports.port_control, kControlIdle);
  p.link.command_text += '\r';
  for (const char c : p.link.command_text) {
    if (!write_byte(p, static_cast<std::uint8_t>(c))) {
      return give_up(p, "「" + command_name(p) + "」の送信中");
    }
  }
  return true;
}

bool read_reply(Program& p, int mode, std::int64_t limit_us) {
  if (!port_chosen(p)) return false;
  std::string& reply = p.link.reply_text;
  reply.clear();
  p.port.PortOut(p.ports.port_control, kControlReceive);
  for (;;) {
    std::uint8_t b = 0;
    if (!receive_text_byte(p, b, limit_us)) return give_up(p, reply_name(p));
    if (mode == kReplyFramed && b == kFrameEnd) break;
    reply += static_cast<char>(b);
    if (mode == kReplyLine && b == static_cast<std::uint8_t>(kLineEnd)) break;
    if (reply.size() >= kMaxReplyBytes) {
      const std::string name = command_name(p);
      return fail(p, " カメラの応答が不正です（" + (name.empty() ? std::string() : "「" + name + "」への") +
                         "応答が終わりません）");
    }
  }
  p.port.PortOut(p.ports.port_control, kControlIdle);
  return true;
}

bool read_byte(Program& p) {
  if (!port_chosen(p)) return false;
  p.link.reply_text.clear();
  p.port.PortOut(p.ports.port_control, kControlReceive);
  std::uint8_t b = 0;
  if (!receive_text_byte(p, b, kHandshakeLimitUs)) return give_up(p, "応答バイトの受信中");
  p.link.reply_text += static_cast<char>(b);
  p.port.PortOut(p.ports.port_control, kControlIdle);
  return true;
}

bool send_count(Program& p) {
  if (!port_chosen(p)) return false;
  p.port.PortOut(p.ports.port_control, kControlIdle);
  if (!write_byte(p, p.link.count_low) || !write_byte(p, p.link.count_high)) {
    return give_up(p, "ブロック数の送信中");
  }
  return true;
}

bool read_sample(Program& p, std::int32_t& sample) {
  PortIo& io = p.port;
  const PortAddresses& a = p.ports;
  io.PortOut(a.port_control, kControlReceive);
  if (!wait_status(p, false, kHandshakeLimitUs)) return give_up(p, "画像データの受信中");
  const std::uint8_t low = io.PortIn(a.port_data);
  io.PortOut(a.port_control, kControlTaken);
  if (!wait_status(p, true, kHandshakeLimitUs)) return give_up(p, "画像データの受信中");
  const std::uint8_t high = io.PortIn(a.port_data);
  sample = decode_sample(low, high);
  return true;
}

TwoNumbers parse_two_numbers(std::string_view reply) {
  const std::size_t blank = reply.find(' ');
  if (blank == std::string_view::npos) return {numeric_value(reply), 0};
  return {numeric_value(reply.substr(0, blank)), numeric_value(reply.substr(blank + 1))};
}

}  // namespace stellacq
