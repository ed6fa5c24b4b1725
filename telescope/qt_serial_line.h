// The real serial line: a Qt SerialPort on the device of the chosen COM
// number (serial_device(): /dev/ttyS0..2, or what STELLACQ_COM1..3 name).
// It works without the event loop: every send is handed to the driver
// before it returns, a drain waits until the driver has clocked it out, and
// every take reads what the device holds at that moment, so
// the busy-counted waits of the mount link see characters arrive. A device
// that vanishes while open (a USB adapter pulled out) closes the line.
// Needs a QCoreApplication.
#pragma once

#include <QSerialPort>

#include "telescope/serial_line.h"

namespace stellacq {

class QtSerialLine final : public SerialLine {
 public:
  QtSerialLine() = default;
  void set_port_number(int com) override { com_ = com; }
  int port_number() const override { return com_; }
  void set_settings(const std::string& settings) override { settings_ = settings; }
  LineError open(std::string* detail = nullptr) override;
  void close() override;
  bool is_open() const override { return port_.isOpen(); }
  void discard_input() override;
  LineError send(const std::string& text) override;
  LineError drain() override;
  std::string take_received() override;
  std::string device_name() const override { return serial_device(com_); }

 private:
  // Closes the line when the device has gone.
  void check_gone();

  QSerialPort port_;
  int com_ = 0;
  std::string settings_;
};

}  // namespace stellacq
