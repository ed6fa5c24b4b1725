#include "camera/session_texts.h"

#include <cstdio>

namespace stellacq {

std::string camera_error_text(const CameraStatus& status) {
  const std::string about = status.command.empty() ? "its greeting" : "\"" + status.command + "\"";
  switch (status.error) {
    case CameraError::Ok:
      return "no error";
    case CameraError::NoPort:
      return "No parallel port is open.";
    case CameraError::NotConnected:
      return "The camera is not connected.";
    case CameraError::NoReply:
      return "The control unit did not answer (" + about +
             "). Check that it is switched on and its cable is in the port.";
    case CameraError::GarbledReply:
      return "The control unit's answer to " + about + " made no sense.";
    case CameraError::ShortFrame:
      return "The control unit announced " + std::to_string(status.announced_samples) +
             " samples, the frame needs " + std::to_string(status.expected_samples) +
             ": check the head and unit models.";
    case CameraError::BadFrameSize:
      return "The frame is larger than a frame buffer.";
    case CameraError::Cancelled:
      return "Cancelled.";
  }
  return "unknown error";
}

std::string connect_failed_text(const CameraStatus& status) {
  return "Connecting failed: " + camera_error_text(status);
}

std::string port_held_text(const std::string& port) {
  return "The parallel port " + port + " is in use by another program or driver; close it and connect again.";
}

std::string port_unusable_text(const std::string& port) {
  return "The parallel port " + port + " cannot be used";
}

std::string set_point_range_text() {
  char text[96];
  std::snprintf(text, sizeof text, "The set point must lie between %.0f and %.0f C.", kSetPointMinC,
                kSetPointMaxC);
  return text;
}

std::string disconnect_first_text(const std::string& what) {
  return "Disconnect the camera before changing the " + what + ".";
}

std::string simulated_mount_text(const std::string& device) {
  return "The simulated mount answers LX200 on " + device + ".";
}

}  // namespace stellacq
