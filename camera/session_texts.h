// The texts the network front-ends (the INDI driver, the Alpaca server)
// give of the camera, in English as their protocols and logs are: what
// failed, a port that cannot be had, a set point out of range, a change
// refused while connected.
#pragma once

#include <string>

#include "camera/camera.h"

namespace stellacq {

// The set points the front-ends take, in degrees Celsius.
inline constexpr double kSetPointMinC = -50.0;
inline constexpr double kSetPointMaxC = 50.0;
// Whether a set point lies within those limits (not a number does not).
constexpr bool set_point_in_range(double celsius) {
  return celsius >= kSetPointMinC && celsius <= kSetPointMaxC;
}

// What failed, in a sentence for the user (the front-ends' logs and error
// messages).
std::string camera_error_text(const CameraStatus& status);

// "Connecting failed: " and what failed.
std::string connect_failed_text(const CameraStatus& status);

// The port `port` is held by another program or driver.
std::string port_held_text(const std::string& port);

// The port `port` could not be opened, without the reason (each front-end
// says what to check in its own way).
std::string port_unusable_text(const std::string& port);

// A set point outside kSetPointMinC to kSetPointMaxC.
std::string set_point_range_text();

// A setting that changes only while the camera is disconnected: `what` is
// "parallel port", "camera head" or "control unit".
std::string disconnect_first_text(const std::string& what);
inline constexpr const char* kDisconnectBeforeSimulation =
    "Disconnect the camera before switching the simulation on or off.";

// Where the simulated mount answers.
std::string simulated_mount_text(const std::string& device);

}  // namespace stellacq
