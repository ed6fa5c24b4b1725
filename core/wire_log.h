// The wire log: what went over the wire to the camera's control unit and
// to the mount, with the time of day, for a user whose camera or mount
// misbehaves to send along.
//
// The device links report each exchange here: a command sent, its reply
// or its absence, a handshake that timed out, a reset, a download's start
// and end. A front-end installs a sink (standard error in the desktop with
// STELLACQ_DEBUG=1, INDI's debug level in the driver); without one the log
// is off, and a report costs one relaxed atomic load: nothing is copied,
// stamped or formatted. Reports come per exchange, never per port byte.
//
//   set_wire_sink(stderr_wire_sink());
//   wire_log(WireDevice::Mount, WireDirection::Sent, "#:GR#\r\n");
//   // 21:04:05.123 mount > #:GR#\r\n
//
// Reports may come from any thread (the driver runs the camera on a worker
// of its own); the sink is called under a lock, one entry at a time, and
// set_wire_sink waits for a call in progress, so once it returns the old
// sink is no longer called.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace stellacq {

enum class WireDevice { Camera, Mount };

enum class WireDirection {
  Sent,      // ">": bytes to the device
  Received,  // "<": bytes from the device
  Event,     // "!": what happened besides (a time-out, a reset, a drain)
};

struct WireEntry {
  std::chrono::system_clock::time_point when;
  WireDevice device = WireDevice::Camera;
  WireDirection direction = WireDirection::Event;
  std::string_view bytes;  // as they went over the wire; an event's text
};

// Gets every entry while installed; valid only during the call.
using WireSink = std::function<void(const WireEntry&)>;

// Installs `sink`, or turns the log off with an empty one.
void set_wire_sink(WireSink sink);

namespace detail {
extern std::atomic<bool> wire_log_enabled;
void deliver_wire_entry(WireDevice device, WireDirection direction, std::string_view bytes);
}  // namespace detail

// A report that builds its text first (an event with numbers) asks this
// before building it.
inline bool wire_log_on() { return detail::wire_log_enabled.load(std::memory_order_relaxed); }

inline void wire_log(WireDevice device, WireDirection direction, std::string_view bytes) {
  if (wire_log_on()) detail::deliver_wire_entry(device, direction, bytes);
}

// The bytes as one line of text: printable ASCII as it is, a backslash
// doubled, CR and LF as \r and \n, everything else as \xNN.
std::string printable_bytes(std::string_view bytes);

// "21:04:05.123 camera > T\r": the local time of day with milliseconds, the
// device, the direction and the printable bytes; no line end.
std::string wire_line(const WireEntry& entry);

// Writes each entry's line to standard error.
WireSink stderr_wire_sink();

// Installs stderr_wire_sink() when the environment variable STELLACQ_DEBUG
// is "1"; true when it did.
bool wire_log_from_environment();

}  // namespace stellacq
