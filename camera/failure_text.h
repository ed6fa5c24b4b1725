// The camera service as the menu commands use it: a failure the camera
// reports is told on the status line.
//
// The camera marks the unit silent when a handshake gave up, so that the
// periodic temperature query leaves it alone until the next connection
// command; the status text names what was being done and ends with the hint
// to check the cable and the power and to connect again.
#pragma once

#include <string>

#include "camera/camera.h"
#include "camera/link.h"
#include "camera/messages.h"
#include "core/status_line.h"

namespace stellacq {

// The status text of a size reply that announced fewer samples than the
// frame needs: the frame on screen is still the previous one.
std::string short_frame_text(long long announced_samples, long long expected_samples);

// The status text of a failed primitive; `command_text` is the command the
// exchange was about (a trailing CR is ignored; empty for the greeting).
std::string link_failure_text(LinkResult result, const std::string& command_text);

// The status text of a failed camera operation ("" for success).
std::string camera_failure_text(const CameraStatus& status);

// True for a success. Otherwise writes camera_failure_text on the status
// line and returns false.
bool camera_ok(const StatusLine& status_line, const CameraStatus& status);

}  // namespace stellacq
