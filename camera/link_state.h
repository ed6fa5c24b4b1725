// Run-time state of the camera link: the connection flag, the command and
// reply of the last exchange and the block count of an image transfer.
#pragma once

#include <cstdint>
#include <string>

namespace stellacq {

struct CameraLinkState {
  std::int16_t camera_connected = 0;
  std::string command_text;  // the command send_command sends
  std::string reply_text;    // one character per received byte
  std::uint8_t count_low = 0;
  std::uint8_t count_high = 0;
  // Set when a handshake with the unit gave up; the periodic temperature
  // query stays silent until the next connection command, so a unit that
  // does not answer cannot freeze the window at every tick.
  bool unit_silent = false;
};

}  // namespace stellacq
