// Byte-level link to the camera control unit on the parallel port: the
// protocol primitives.
//
// Three registers of the chosen port carry everything: the data register
// (command bytes out, reply bytes and image samples in), the status register
// (bit 6 is the unit's handshake line) and the control register (strobe,
// auto-feed, initialise and data-direction bits). On top of the register
// handshakes sit the four primitives of the camera dialogue and the
// two-byte sample read of the image transfer.
//
// The primitives touch only the port, its register addresses, the clock that
// bounds their waits and the link state (command_text, reply_text,
// count_low, count_high). Nothing here yields to the event queue: an
// exchange runs from its first register access to its last in one go.
//
// No wait is unbounded: a handshake that sees no change of the status line
// within its limit gives up, puts the control register back to idle (0x04)
// and returns what failed. The operations above (camera/failure_text.h) tell
// the user and mark the unit silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "camera/link_state.h"
#include "camera/port_io.h"
#include "config/settings.h"
#include "core/clock.h"

namespace stellacq {

// Values of the control register.
inline constexpr std::uint8_t kControlIdle = 0x04;      // initialise high, data lines driven
inline constexpr std::uint8_t kControlStrobe = 0x05;    // byte on the data lines
inline constexpr std::uint8_t kControlReceive = 0x26;   // data lines in, auto-feed
inline constexpr std::uint8_t kControlTaken = 0x27;     // byte taken / second phase of a sample
inline constexpr std::uint8_t kControlReset = 0x00;     // reset asserted
inline constexpr std::uint8_t kStatusHandshake = 0x40;  // the unit's handshake line

// Reply terminators.
inline constexpr char kLineEnd = '\n';
inline constexpr unsigned char kFrameEnd = 0xDB;

// How a text reply ends: a line stops after its line feed (kept, as is a CR
// before it); a framed reply stops at 0xDB (not kept).
enum class ReplyMode { Line, Framed };

// Longest time one handshake wait may see no change of the status line
// before the unit is taken as silent, in microseconds.
inline constexpr std::int64_t kHandshakeLimitUs = 3'000'000;

// Longest text reply taken; a unit that sends more without its terminator
// is out of step with the PC.
inline constexpr std::size_t kMaxReplyBytes = 4096;

// A wait checks the clock only once every this many polls of the status
// register, so a poll costs one port read and one comparison.
inline constexpr int kPollsPerClockRead = 4096;

// A wait that runs long tells its progress at most once per this much clock
// time, so the window above can repaint during a long exposure.
inline constexpr std::int64_t kProgressIntervalUs = 100'000;

// What the primitives use of the world. The hooks are optional: a wait
// calls on_wait with the time it has waited so far (only when it reads the
// clock, at most once per kProgressIntervalUs), the image transfer calls
// on_block after each block. Neither may touch the port. `cancelled` is
// asked whenever a wait reads the clock and every kSamplesPerCancelCheck
// samples of the image transfer; once it answers true, the primitive gives
// up with LinkResult::Cancelled, leaving the unit mid-exchange (only a reset
// puts it back in step).
//
// `rest_us` above 0 lets a wait rest: once a first batch of polls has gone
// unanswered, it sleeps that long on the clock between single polls. For
// waits that last seconds (the exposure), where the processor has better
// things to do than poll and an answer seen a few milliseconds late costs
// nothing; the sample handshakes of a download never rest.
struct CameraPort {
  PortIo& io;
  const PortAddresses& ports;
  Clock& clock;
  std::function<void(std::int64_t waited_us)> on_wait = nullptr;
  std::function<void(long long samples_done, long long samples_needed)> on_block = nullptr;
  std::function<bool()> cancelled = nullptr;
  std::int64_t rest_us = 0;
};

// The rest of an exposure wait between two polls: the end of the exposure
// and a cancel are seen within it.
inline constexpr std::int64_t kExposureRestUs = 5'000;

// The image transfer asks `cancelled` once per this many samples: a sample
// costs a few port accesses, so even on a slow port the answer comes well
// within a tenth of a second.
inline constexpr int kSamplesPerCancelCheck = 1024;

// How a primitive ended.
enum class LinkResult {
  Ok,
  NoPort,         // no parallel port is chosen; nothing was sent
  SendTimeout,    // the unit did not take a byte of the command in time
  ReplyTimeout,   // a byte of the reply did not come in time
  ReplyOverlong,  // the reply went on past kMaxReplyBytes without its terminator
  ByteTimeout,    // read_byte saw no byte in time
  CountTimeout,   // the unit did not take a byte of the block count in time
  SampleTimeout,  // an image sample did not come in time
  Cancelled,      // the port's `cancelled` answered true during a wait
};

// Appends a carriage return to link.command_text and writes every character
// of it with the write handshake.
[[nodiscard]] LinkResult send_command(CameraPort& port, CameraLinkState& link);

// Reads bytes into link.reply_text until the terminator of `mode`.
// `limit_us` bounds each wait; the reply to an exposure command passes the
// exposure time plus a margin.
[[nodiscard]] LinkResult read_reply(CameraPort& port, CameraLinkState& link, ReplyMode mode,
                                    std::int64_t limit_us = kHandshakeLimitUs);

// Reads exactly one byte into link.reply_text, whatever its value.
[[nodiscard]] LinkResult read_byte(CameraPort& port, CameraLinkState& link);

// Writes link.count_low then link.count_high with the write handshake.
[[nodiscard]] LinkResult send_count(CameraPort& port, const CameraLinkState& link);

// One image sample: the unit puts the low byte on the data lines while the
// status line is low and the high byte after it has risen again. The value is
// (256 * high + low) XOR 0x7FFF, 0..65535. Used only inside the image
// transfer, after the block count and the "K", on a chosen port.
[[nodiscard]] LinkResult read_sample(CameraPort& port, std::int32_t& sample);

// One whole exchange: link.command_text := `command`, send_command, then one
// read_reply in `mode`.
[[nodiscard]] LinkResult exchange_command(CameraPort& port, CameraLinkState& link, std::string_view command,
                                          ReplyMode mode = ReplyMode::Framed,
                                          std::int64_t limit_us = kHandshakeLimitUs);

// Writes the idle value to the control register (the state between
// exchanges). Does nothing without a chosen port.
void control_idle(CameraPort& port);

// The sample value of a raw byte pair.
constexpr std::int32_t decode_sample(std::uint8_t low, std::uint8_t high) {
  return ((static_cast<std::int32_t>(high) << 8) | low) ^ 0x7FFF;
}

// A reply of two numbers separated by a blank ("768 512\r\n"). Each number
// is read leniently (a text without digits gives 0, a trailing CR LF is
// ignored). A reply without a blank gives its number as `first` and 0 as
// `second`.
struct TwoNumbers {
  double first = 0;
  double second = 0;
};
TwoNumbers parse_two_numbers(std::string_view reply);

}  // namespace stellacq
