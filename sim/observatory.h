// The simulated observatory: one sky and the devices that look at it. The
// control unit with its camera head answers on the parallel port at base
// 0x378 and renders its exposures from the sky; the mount answers on the
// serial line (or on a pseudo-terminal, sim/pty_server.h), and where it
// points when an exposure ends is where the sky is rendered from, so a guide
// move shifts the stars of the next frame.
//
// Both the stellacq-sim program and the tests build one in a line; the
// parallel port it hands out follows the unit model of the settings, so the
// model dialog behaves as it would with the matching real unit attached.
#pragma once

#include <cstdint>
#include <mutex>

#include "camera/port_io.h"
#include "config/settings.h"
#include "core/clock.h"
#include "sim/control_unit.h"
#include "sim/lx200_controller.h"
#include "sim/mount_axes.h"
#include "sim/sky.h"

namespace stellacq::sim {

struct ObservatoryOptions {
  ControlUnitOptions unit;
  SkyConditions sky;
  MountAxesOptions mount_axes;
  Lx200Options mount_controller;
};

// The unit as the program sees it on its port: it takes the unit model from
// the settings whenever the program writes the data register (commands and
// block counts pass there; the per-sample handshakes of a download do not).
class SettingsFollowingPort final : public PortIo {
 public:
  explicit SettingsFollowingPort(ControlUnit& unit) : unit_(unit) {}
  // The settings and the port addresses the program holds; until then the
  // unit keeps the model it was built with.
  void follow(const Settings& settings, const PortAddresses& ports) {
    settings_ = &settings;
    ports_ = &ports;
  }

  std::uint8_t PortIn(std::uint16_t address) override { return unit_.PortIn(address); }
  void PortOut(std::uint16_t address, std::uint8_t value) override;

 private:
  ControlUnit& unit_;
  const Settings* settings_ = nullptr;
  const PortAddresses* ports_ = nullptr;
};

class Observatory {
 public:
  // `clock` times the devices: exposures, cooling and the mount's motion.
  explicit Observatory(Clock& clock, const ObservatoryOptions& options = {});
  Observatory(const Observatory&) = delete;
  Observatory& operator=(const Observatory&) = delete;

  Sky& sky() { return sky_; }
  ControlUnit& unit() { return unit_; }
  // The parallel port of the simulated PC, with the unit behind it.
  SettingsFollowingPort& parallel_port() { return port_; }
  // The mount: its axes, and the LX200 controller that drives them.
  MountAxes& mount_axes() { return mount_axes_; }
  Lx200Controller& mount_controller() { return mount_controller_; }
  // Held around every use of the mount by a thread of its own (a
  // pseudo-terminal server, a camera session); the exposure's end takes it
  // to read the pointing. The program's own serial line runs on the
  // program's one thread and does not need it.
  std::mutex& mount_mutex() { return mount_mutex_; }
  // The serial line of the simulated PC, with the mount on every COM port.
  MountLine& serial_line() { return line_; }

 private:
  Sky sky_;
  ControlUnit unit_;
  SettingsFollowingPort port_{unit_};
  MountAxes mount_axes_;
  Lx200Controller mount_controller_;
  std::mutex mount_mutex_;
  MountLine line_{mount_controller_};
};

}  // namespace stellacq::sim
