// Serial-line seam: the RS-232 line to the mount's hand controller.
//
// The line is chosen by a COM number (1..3) and set up by a settings string
// ("9600,N,8,1"); both are applied when the line opens. The operations never
// wait for the far end: `send` hands the text to the line and
// `take_received` returns whatever has arrived so far, possibly nothing;
// only `drain` waits, for the text sent to leave.
// The real line is QtSerialLine (telescope/qt_serial_line.h); the simulated
// observatory has its mount behind one (sim/lx200_controller.h), and tests use a
// recording double.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace stellacq {

// What went wrong on the line. None means success.
enum class LineError {
  None,
  BadPortNumber,  // no COM port chosen (the number is not 1..3)
  BadSettings,    // the settings string cannot be read
  NoDevice,       // the device file does not exist
  NoPermission,   // the device exists, but this user may not open it
  InUse,          // another program holds the device
  NotOpen,        // the line is closed: nothing was sent
  WriteFailed,    // the line refused the text (device gone)
  Other,          // anything else; the line's detail text says what
};

class SerialLine {
 public:
  virtual ~SerialLine() = default;
  // Takes effect at the next open.
  virtual void set_port_number(int com) = 0;
  virtual int port_number() const = 0;
  virtual void set_settings(const std::string& settings) = 0;
  // Opens the line; on failure the line stays closed and `detail` (when
  // given) receives the system's own words.
  virtual LineError open(std::string* detail = nullptr) = 0;
  virtual void close() = 0;
  // False also after the device vanished under an open line.
  virtual bool is_open() const = 0;
  // Drops everything received and not yet taken.
  virtual void discard_input() = 0;
  // Writes `text` as it is (the caller adds the line end). It may still be
  // on its way when this returns: 7 characters take 7.3 ms at 9600 baud.
  virtual LineError send(const std::string& text) = 0;
  // Waits until everything sent has left the line, so that what is sent
  // next goes out at once. A line that hands text over at once has
  // nothing to wait for.
  virtual LineError drain() { return is_open() ? LineError::None : LineError::NotOpen; }
  // Everything received since the last take or discard; never waits.
  virtual std::string take_received() = 0;
  // What the port number stands for, for messages ("/dev/ttyS0").
  virtual std::string device_name() const = 0;
};

// A settings string such as "9600,N,8,1": baud, parity (N, E, O, M, S),
// data bits (5..8), stop bits (1, 1.5, 2).
struct LineSettings {
  int baud = 9600;
  char parity = 'N';
  int data_bits = 8;
  double stop_bits = 1;
};
std::optional<LineSettings> parse_line_settings(const std::string& settings);

// The device of COM1..COM3: /dev/ttyS0../dev/ttyS2, unless the environment
// variable STELLACQ_COM<n> names another one (a USB-serial adapter such as
// /dev/ttyUSB0). `environment` looks a variable up (nullptr when unset);
// by default the process environment. Empty for any other number.
using EnvironmentLookup = std::function<const char*(const char*)>;
std::string serial_device(int com, const EnvironmentLookup& environment = {});

}  // namespace stellacq
