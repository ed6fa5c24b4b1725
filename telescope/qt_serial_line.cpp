#include "telescope/qt_serial_line.h"

#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>

namespace stellacq {

namespace {

QSerialPort::Parity parity_of(char letter) {
  switch (letter) {
    case 'E':
      return QSerialPort::EvenParity;
    case 'O':
      return QSerialPort::OddParity;
    case 'M':
      return QSerialPort::MarkParity;
    case 'S':
      return QSerialPort::SpaceParity;
    default:
      return QSerialPort::NoParity;
  }
}

QSerialPort::StopBits stop_bits_of(double bits) {
  if (bits == 2) return QSerialPort::TwoStop;
  if (bits == 1.5) return QSerialPort::OneAndHalfStop;
  return QSerialPort::OneStop;
}

// The longest a send may take to leave for the device (a line held up by
// flow control counts as failed).
constexpr int kWriteTimeoutMs = 2000;

}  // namespace

LineError QtSerialLine::open(std::string* detail) {
  if (port_.isOpen()) return LineError::None;
  const std::string device = serial_device(com_);
  if (device.empty()) return LineError::BadPortNumber;
  const std::optional<LineSettings> settings = parse_line_settings(settings_);
  if (!settings) {
    if (detail) *detail = settings_;
    return LineError::BadSettings;
  }
  if (!QFileInfo::exists(QString::fromStdString(device))) return LineError::NoDevice;
  port_.setPortName(QString::fromStdString(device));
  port_.setBaudRate(settings->baud);
  port_.setParity(parity_of(settings->parity));
  port_.setDataBits(static_cast<QSerialPort::DataBits>(settings->data_bits));
  port_.setStopBits(stop_bits_of(settings->stop_bits));
  if (port_.open(QIODevice::ReadWrite)) return LineError::None;
  if (detail) *detail = port_.errorString().toStdString();
  switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError:
      return LineError::NoDevice;
    case QSerialPort::PermissionError:
      // Qt says "permission" both for a device this user may not use and
      // for one another program holds (locked or busy).
      return ::access(device.c_str(), R_OK | W_OK) == 0 ? LineError::InUse : LineError::NoPermission;
    default:
      return LineError::Other;
  }
}

void QtSerialLine::close() {
  if (port_.isOpen()) port_.close();
}

void QtSerialLine::check_gone() {
  // A device that has gone (or whose far end hung up) fails every read.
  const QSerialPort::SerialPortError error = port_.error();
  if (port_.isOpen() && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError))
    port_.close();
}

void QtSerialLine::discard_input() {
  if (!port_.isOpen()) return;
  port_.waitForReadyRead(0);
  port_.clear(QSerialPort::Input);
  port_.readAll();
  check_gone();
}

LineError QtSerialLine::send(const std::string& text) {
  if (!port_.isOpen()) return LineError::NotOpen;
  const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  bool written = port_.write(bytes) == bytes.size();
  while (written && port_.bytesToWrite() > 0) written = port_.waitForBytesWritten(kWriteTimeoutMs);
  check_gone();
  if (written) return LineError::None;
  // A line that refuses a command is not to be trusted with the next one.
  port_.close();
  return LineError::WriteFailed;
}

LineError QtSerialLine::drain() {
  if (!port_.isOpen()) return LineError::NotOpen;
  bool written = true;
  while (written && port_.bytesToWrite() > 0) written = port_.waitForBytesWritten(kWriteTimeoutMs);
  // Handed to the driver is not yet on the wire: the driver's buffer and
  // the UART's FIFO still hold it until tcdrain returns.
  int drained = -1;
  if (written) {
    do {
      drained = ::tcdrain(static_cast<int>(port_.handle()));
    } while (drained != 0 && errno == EINTR);
  }
  check_gone();
  if (drained == 0) return LineError::None;
  port_.close();
  return LineError::WriteFailed;
}

std::string QtSerialLine::take_received() {
  if (!port_.isOpen()) return {};
  // Without the event loop the port learns of new characters only when
  // asked; a zero wait reads what the device holds now.
  port_.waitForReadyRead(0);
  const QByteArray bytes = port_.readAll();
  check_gone();
  return bytes.toStdString();
}

}  // namespace stellacq
